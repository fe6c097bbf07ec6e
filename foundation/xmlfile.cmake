# XML files: the file forms of the tree builder and writer, XML files and
# preference files.
kv_foundation_area(xmlfile DEPENDS xml fm TEST_LIBS kv_testsupport)
