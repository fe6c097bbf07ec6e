# XML element trees, their text form (built with expat), typed value helpers
# and name maps.
find_package(EXPAT REQUIRED)
kv_foundation_area(xml DEPENDS core util LIBS EXPAT::EXPAT TEST_LIBS kv_testsupport)
