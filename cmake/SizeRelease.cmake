# Size settings of the release stub (the win32 preset sets VARNEL_SIZE_RELEASE).
# Every target of such a build is optimised for size, its code and data go
# into one section per function and object so that the linker can drop what
# nothing uses, and link-time optimisation runs where the toolchain supports
# it. The win64 test build keeps the ordinary Release settings.
if(NOT VARNEL_SIZE_RELEASE)
  return()
endif()

foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS_RELEASE "-Os -DNDEBUG")
endforeach()
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)

# The static libraries of an LTO build must be archived with the compiler's
# archiver wrappers, which CMake picks when IPO is on.
include(CheckIPOSupported)
check_ipo_supported(RESULT VARNEL_LTO_SUPPORTED OUTPUT VARNEL_LTO_OUTPUT LANGUAGES C CXX)
if(VARNEL_LTO_SUPPORTED)
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  # mingw-w64 GCC 12 stops with an internal error (binds_to_current_def_p)
  # when the link-time code is split into partitions; one partition works.
  add_link_options(-flto-partition=one)
else()
  message(STATUS "Link-time optimisation not available: ${VARNEL_LTO_OUTPUT}")
endif()
