# Reading one component's finished process-code descriptions from a packed
# plug-in of a few hundred sub-components, against expat's bare parse of the
# same two resource texts.
set(kv_bench_gen ${CMAKE_CURRENT_BINARY_DIR}/hosting)
set(kv_bench_defs "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ComponentDefinitions>\n")
foreach(i RANGE 100 499)
  string(APPEND kv_bench_defs
    "  <SubComponent>\n"
    "    <SubComponentType Name=\"Plug-in ${i}\">'S${i}'</SubComponentType>\n"
    "    <ProcessCodeMatch>\n"
    "      <thng>'raPI'</thng>\n      <thng>'vxPI'</thng>\n"
    "      <ProcessCodeDescriptionID>default_stereo</ProcessCodeDescriptionID>\n"
    "      <ProcessCodeDescriptionID>common_${i}</ProcessCodeDescriptionID>\n"
    "      <ProcessCodeDescriptionID final=\"yes\">native_${i}</ProcessCodeDescriptionID>\n"
    "    </ProcessCodeMatch>\n"
    "  </SubComponent>\n")
endforeach()
foreach(i RANGE 100 499)
  string(APPEND kv_bench_defs
    "  <ProcessCodeDescription ID=\"common_${i}\">\n"
    "    <resID>ResBase</resID>\n    <States>${i}</States>\n    <Coefs>2</Coefs>\n"
    "    <ExternalReq>\n      <memSpace>'XMEM'</memSpace>\n      <theSize>${i}</theSize>\n"
    "      <accessCount>1</accessCount>\n      <cyclic/>\n    </ExternalReq>\n"
    "  </ProcessCodeDescription>\n"
    "  <ProcessCodeDescription ID=\"native_${i}\">\n"
    "    <ProcessFunctionName>Proc${i}</ProcessFunctionName>\n"
    "    <MaxSampleRate>192000</MaxSampleRate>\n"
    "  </ProcessCodeDescription>\n")
endforeach()
string(APPEND kv_bench_defs "</ComponentDefinitions>\n")
file(WRITE ${kv_bench_gen}/SubComponentMany.xml "${kv_bench_defs}")
set(kv_bench_defaults ${PROJECT_SOURCE_DIR}/hosting/resources/SubComponentDefault.xml)
file(WRITE ${kv_bench_gen}/resources.txt
  "XCli 1000 ${kv_bench_defaults}\nXCli 1001 ${kv_bench_gen}/SubComponentMany.xml\n")

add_library(bench_hosting_plugin SHARED ${PROJECT_SOURCE_DIR}/hosting/tests/fixtures/fixture_lib.cpp)
kv_add_resources(bench_hosting_plugin ${kv_bench_gen}/resources.txt)

# Plug-ins for the scan of one file: `count` sub-components (at most 2,600),
# each offering two components that the host lists, every sub-component
# with its own descriptions.
function(kv_bench_scan_plugin count)
  set(defs "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ComponentDefinitions>\n")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last})
    # Four-character sub-types: 'S', a letter, two digits.
    math(EXPR letter "${i} / 100")
    math(EXPR digits "${i} % 100")
    string(SUBSTRING "ABCDEFGHIJKLMNOPQRSTUVWXYZ" ${letter} 1 letter)
    if(digits LESS 10)
      set(digits "0${digits}")
    endif()
    set(n "${letter}${digits}")
    string(APPEND defs
      "  <SubComponent>\n"
      "    <SubComponentType Name=\"Plug-in ${n}\">'S${n}'</SubComponentType>\n"
      "    <ProcessCodeMatch>\n"
      "      <thng>'raPI'</thng>\n      <thng>'vxPI'</thng>\n"
      "      <ProcessCodeDescriptionID>default_stereo</ProcessCodeDescriptionID>\n"
      "      <ProcessCodeDescriptionID>common_${n}</ProcessCodeDescriptionID>\n"
      "      <ProcessCodeDescriptionID final=\"yes\">native_${n}</ProcessCodeDescriptionID>\n"
      "    </ProcessCodeMatch>\n"
      "  </SubComponent>\n"
      "  <ProcessCodeDescription ID=\"common_${n}\">\n"
      "    <resID>ResBase</resID>\n    <States>${n}</States>\n    <Coefs>2</Coefs>\n"
      "    <ExternalReq>\n      <memSpace>'XMEM'</memSpace>\n      <theSize>${n}</theSize>\n"
      "      <accessCount>1</accessCount>\n      <cyclic/>\n    </ExternalReq>\n"
      "  </ProcessCodeDescription>\n"
      "  <ProcessCodeDescription ID=\"native_${n}\">\n"
      "    <ProcessFunctionName>Proc${n}</ProcessFunctionName>\n"
      "    <MaxSampleRate>192000</MaxSampleRate>\n"
      "  </ProcessCodeDescription>\n")
  endforeach()
  string(APPEND defs "</ComponentDefinitions>\n")
  file(WRITE ${kv_bench_gen}/scan${count}/SubComponentScan.xml "${defs}")
  file(WRITE ${kv_bench_gen}/scan${count}/resources.txt
    "XCli 1000 ${kv_bench_defaults}\n"
    "XCli 1001 ${kv_bench_gen}/scan${count}/SubComponentScan.xml\n"
    "Xinf 1000 ${PROJECT_SOURCE_DIR}/hosting/tests/fixtures/PluginInfo.xml\n")
  add_library(bench_scan_plugin_${count} SHARED
              ${PROJECT_SOURCE_DIR}/hosting/tests/fixtures/fixture_lib.cpp)
  kv_add_resources(bench_scan_plugin_${count} ${kv_bench_gen}/scan${count}/resources.txt)
endfunction()
set(kv_bench_scan_counts 375 750 1500)
foreach(count ${kv_bench_scan_counts})
  kv_bench_scan_plugin(${count})
endforeach()

find_package(EXPAT REQUIRED)
kv_add_bench(bench_hosting SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_hosting.cpp
             LIBS kvhosting EXPAT::EXPAT)
add_dependencies(bench_hosting bench_hosting_plugin hosting_bench_host_resources
                 bench_scan_plugin_375 bench_scan_plugin_750 bench_scan_plugin_1500)
target_compile_definitions(bench_hosting PRIVATE
  KV_BENCH_PLUGIN="$<TARGET_FILE:bench_hosting_plugin>"
  KV_BENCH_DEFAULTS="${kv_bench_defaults}"
  KV_BENCH_OWN="${kv_bench_gen}/SubComponentMany.xml"
  KV_BENCH_HOST_RESOURCES="$<TARGET_FILE:hosting_bench_host_resources>"
  KV_BENCH_SCAN_DIR="$<TARGET_FILE_DIR:bench_scan_plugin_375>")

# The host's processing element against the audio engine's plain element
# running the same process function, and scan times per plug-in file.
add_library(bench_test_plugin SHARED ${PROJECT_SOURCE_DIR}/hosting/tests/fixtures/test_plugin.cpp)
target_include_directories(bench_test_plugin PRIVATE ${PROJECT_SOURCE_DIR}/hosting/include
                                                     ${PROJECT_SOURCE_DIR}/foundation/include
                                                     ${PROJECT_SOURCE_DIR}/ui/include
                                                     ${PROJECT_SOURCE_DIR}/audio/include)
target_compile_options(bench_test_plugin PRIVATE -fno-gnu-unique)
kv_add_resources(bench_test_plugin ${PROJECT_SOURCE_DIR}/hosting/tests/fixtures/plugin.txt)
kv_add_bench(bench_plugin SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_plugin.cpp LIBS kvhosting)
add_dependencies(bench_plugin bench_test_plugin hosting_bench_host_resources)
add_library(hosting_bench_host_resources SHARED ${PROJECT_SOURCE_DIR}/hosting/tests/fixtures/fixture_lib.cpp)
kv_add_resources(hosting_bench_host_resources ${PROJECT_SOURCE_DIR}/hosting/resources/resources.txt)
target_compile_definitions(bench_plugin PRIVATE
  KV_BENCH_TEST_PLUGIN="$<TARGET_FILE:bench_test_plugin>"
  KV_BENCH_HOST="$<TARGET_FILE:hosting_bench_host_resources>")
