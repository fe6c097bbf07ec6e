# Text, number and memory utilities; thread primitives.
kv_foundation_area(util DEPENDS core LIBS Threads::Threads TEST_LIBS kv_testsupport)
