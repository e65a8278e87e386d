# Imported targets for the libraries the programs link. Everything comes from Debian's packages;
# nothing is downloaded at configure time.

find_package(GDAL CONFIG REQUIRED)
find_package(TIFF REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Boost 1.70 REQUIRED)
find_package(Threads REQUIRED)

# HDF4, the "alt" build (libmfhdfalt, libdfalt), whose headers live in include/hdf.
find_path(HDF4_INCLUDE_DIR mfhdf.h PATH_SUFFIXES hdf REQUIRED)
find_library(HDF4_MFHDF_LIBRARY NAMES mfhdfalt REQUIRED)
find_library(HDF4_DF_LIBRARY NAMES dfalt REQUIRED)
set(HDF4_LIBRARIES ${HDF4_MFHDF_LIBRARY} ${HDF4_DF_LIBRARY})
include(${CMAKE_CURRENT_LIST_DIR}/RequireSharedHdf4.cmake)
find_library(JPEG_LIBRARY NAMES jpeg)
add_library(veg::hdf4 INTERFACE IMPORTED)
target_include_directories(veg::hdf4 SYSTEM INTERFACE ${HDF4_INCLUDE_DIR})
target_link_libraries(veg::hdf4 INTERFACE ${HDF4_MFHDF_LIBRARY} ${HDF4_DF_LIBRARY} ZLIB::ZLIB)
if(JPEG_LIBRARY)
    target_link_libraries(veg::hdf4 INTERFACE ${JPEG_LIBRARY})
endif()

# libdeflate, which compresses the deflated grid fields in place of zlib (grid/hdfdeflate.h).
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
add_library(veg::libdeflate INTERFACE IMPORTED)
target_include_directories(veg::libdeflate SYSTEM INTERFACE ${LIBDEFLATE_INCLUDE_DIR})
target_link_libraries(veg::libdeflate INTERFACE ${LIBDEFLATE_LIBRARY})

# HDF-EOS2 grid interface with its GCTP projection library.
find_path(HDFEOS_INCLUDE_DIR HdfEosDef.h PATH_SUFFIXES hdf ${CMAKE_LIBRARY_ARCHITECTURE}/hdf REQUIRED)
find_library(HDFEOS_LIBRARY NAMES hdfeos REQUIRED)
find_library(GCTP_LIBRARY NAMES gctp REQUIRED)
add_library(veg::hdfeos INTERFACE IMPORTED)
target_include_directories(veg::hdfeos SYSTEM INTERFACE ${HDFEOS_INCLUDE_DIR})
target_link_libraries(veg::hdfeos INTERFACE ${HDFEOS_LIBRARY} ${GCTP_LIBRARY} veg::hdf4 m)

# libgeotiff (Debian installs its headers under include/geotiff).
find_path(GEOTIFF_INCLUDE_DIR geotiff.h PATH_SUFFIXES geotiff REQUIRED)
find_library(GEOTIFF_LIBRARY NAMES geotiff REQUIRED)
add_library(veg::geotiff INTERFACE IMPORTED)
target_include_directories(veg::geotiff SYSTEM INTERFACE ${GEOTIFF_INCLUDE_DIR})
target_link_libraries(veg::geotiff INTERFACE ${GEOTIFF_LIBRARY} TIFF::TIFF)

# libcurl (the OpenSSL flavour) for the archive's catalogue and downloads; OpenSSL's digests for
# the checksums of downloaded files.
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)

# RapidJSON is header-only.
find_path(RAPIDJSON_INCLUDE_DIR rapidjson/writer.h REQUIRED)
add_library(veg::rapidjson INTERFACE IMPORTED)
target_include_directories(veg::rapidjson SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIR})

# xbase64 for dBASE legend tables.
find_path(XBASE64_INCLUDE_DIR xbase64/xbase64.h REQUIRED)
find_library(XBASE64_LIBRARY NAMES xbase64 REQUIRED)
add_library(veg::xbase64 INTERFACE IMPORTED)
target_include_directories(veg::xbase64 SYSTEM INTERFACE ${XBASE64_INCLUDE_DIR})
target_link_libraries(veg::xbase64 INTERFACE ${XBASE64_LIBRARY})

if(VEG_BUILD_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()
