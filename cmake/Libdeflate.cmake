# libdeflate: the core's inflater and the builder's compressor, as the
# imported target varnel::libdeflate. Native builds use Debian's
# libdeflate-dev (its static library, so the tools need no shared one); the
# mingw builds use the static libraries that scripts/build-libdeflate.sh
# (called by scripts/setup.sh) compiles from Debian's source package.
add_library(varnel_libdeflate STATIC IMPORTED)
add_library(varnel::libdeflate ALIAS varnel_libdeflate)
if(WIN32)
  set(VARNEL_DEPS ${CMAKE_SOURCE_DIR}/build/deps CACHE PATH "Cache folder of scripts/build-libdeflate.sh")
  set(libdeflate_root ${VARNEL_DEPS}/libdeflate/${VARNEL_MINGW_TRIPLET})
  set(libdeflate_include ${libdeflate_root}/include)
  set(libdeflate_library ${libdeflate_root}/lib/libdeflate.a)
  if(NOT EXISTS ${libdeflate_library} OR NOT EXISTS ${libdeflate_include}/libdeflate.h)
    message(FATAL_ERROR "libdeflate for ${VARNEL_MINGW_TRIPLET} is missing in ${libdeflate_root}: run scripts/setup.sh")
  endif()
else()
  find_path(libdeflate_include libdeflate.h)
  find_library(libdeflate_library NAMES libdeflate.a deflate)
  if(NOT libdeflate_include OR NOT libdeflate_library)
    message(FATAL_ERROR "libdeflate not found: run scripts/setup.sh (it installs libdeflate-dev)")
  endif()
endif()
set_target_properties(varnel_libdeflate PROPERTIES IMPORTED_LOCATION ${libdeflate_library}
                                                   INTERFACE_INCLUDE_DIRECTORIES ${libdeflate_include})
