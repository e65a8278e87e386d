# HDF4 must be linked as shared libraries. The grid programs' deflate replacement
# (grid/hdfdeflate.*) tells HDF4's compression streams from every other caller's by the library
# whose code opens them; HDF4 linked statically into a program would share the program's own
# address range with the program and every other library linked in with it, so its streams could
# not be told apart, and GDAL, which loads the shared HDF4, would bring a second copy of HDF4 into
# the same process. A static archive is therefore refused when the build is configured.
# Included by Dependencies.cmake with HDF4_LIBRARIES set; also runs as a script:
#   cmake -DHDF4_LIBRARIES=<library files> -P cmake/RequireSharedHdf4.cmake
foreach(library IN LISTS HDF4_LIBRARIES)
    if(library MATCHES "\\.a$")
        message(FATAL_ERROR "HDF4 library ${library} is a static archive: the grid programs need "
                            "HDF4 as shared libraries (libmfhdfalt and libdfalt, .so)")
    endif()
endforeach()
