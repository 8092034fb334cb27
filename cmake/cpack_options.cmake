# Read by cpack for each kind of package it makes. The Debian package holds
# what every install does, and also the install component `debian`: the
# notes for Debian's checker, which belong to no other install.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 korve_build)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${korve_build}" korve debian /)
endif()
