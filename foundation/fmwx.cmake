# The file manager's pieces on wxWidgets: the timer on the wx event loop,
# the file dialogs over wx dialogs, the alert box and the screen size.
find_package(wxWidgets REQUIRED COMPONENTS core base)
find_package(X11 REQUIRED)
kv_foundation_area(fmwx DEPENDS fm LIBS ${wxWidgets_LIBRARIES} X11::X11 TEST_LABELS display)

# wx stays private to this area: its public header includes no wx header.
set(kv_fmwx_targets kvfoundation_fmwx)
if(TARGET foundation_fmwx_tests)
  list(APPEND kv_fmwx_targets foundation_fmwx_tests)
  target_link_libraries(foundation_fmwx_tests PRIVATE ${wxWidgets_LIBRARIES} ${CMAKE_DL_LIBS})
endif()
foreach(target ${kv_fmwx_targets})
  target_include_directories(${target} SYSTEM PRIVATE ${wxWidgets_INCLUDE_DIRS})
  target_compile_definitions(${target} PRIVATE ${wxWidgets_DEFINITIONS})
  target_compile_options(${target} PRIVATE ${wxWidgets_CXX_FLAGS})
endforeach()
