# Status codes and value types.
kv_foundation_area(core LIBS Threads::Threads ${CMAKE_DL_LIBS})
