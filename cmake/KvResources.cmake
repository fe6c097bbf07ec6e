# kv_add_resources(target manifest)
#
# Packs the resources that `manifest` lists ('TYPE NUMBER FILE' lines, FILE
# relative to the manifest's folder; see tools/kvres) into the ".kvres"
# section of `target`'s file after every link. The manifest and every file it
# names are link dependencies of the target, so editing a resource relinks
# and re-packs it; an XML resource that is not well-formed fails the build
# with a message naming its file and line. Every such target also carries
# its version resource (the project's version).
function(kv_add_resources target manifest)
  get_filename_component(manifest "${manifest}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT EXISTS "${manifest}")
    message(FATAL_ERROR "kv_add_resources(${target}): no manifest ${manifest}")
  endif()
  get_filename_component(folder "${manifest}" DIRECTORY)
  # A changed manifest may name other files: configure again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${manifest}")

  set(inputs "${manifest}")
  file(STRINGS "${manifest}" lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t\r]*(#|$)")
      continue()
    endif()
    if(line MATCHES "^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+(.*[^ \t\r])[ \t\r]*$")
      get_filename_component(file "${CMAKE_MATCH_1}" ABSOLUTE BASE_DIR "${folder}")
      list(APPEND inputs "${file}")
    endif()
  endforeach()

  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${inputs})
  add_dependencies(${target} kvres)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND kvres --file-version "${PROJECT_VERSION}" "${manifest}" "$<TARGET_FILE:${target}>"
    COMMENT "Packing resources into ${target}"
    VERBATIM)
endfunction()

# kv_add_version(target): a module with no resources of its own still
# carries its version resource.
function(kv_add_version target)
  kv_add_resources(${target} ${PROJECT_SOURCE_DIR}/cmake/VersionOnly.txt)
endfunction()
