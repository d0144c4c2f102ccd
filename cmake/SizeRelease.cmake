# Size settings of the release stub (the win32 preset sets VARNEL_SIZE_RELEASE).
# Every target of such a build is optimised for size, its code and data go
# into one section per function and object so that the linker can drop what
# nothing uses, and link-time optimisation runs where the toolchain supports
# it. The win64 test build keeps the ordinary Release settings.
function(varnel_few_exceptions target)
endfunction()
if(NOT VARNEL_SIZE_RELEASE)
  return()
endif()

set(VARNEL_SIZE_OPT "-Os" CACHE STRING "Optimisation flag of the size release")
foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS_RELEASE "${VARNEL_SIZE_OPT} -DNDEBUG")
endforeach()
add_compile_options(-ffunction-sections -fdata-sections)
# The stub runs on one thread: local statics need no lock, and without the
# locks the thread library stays out of the image.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-threadsafe-statics>)
# Nothing asks for a type at run time (no typeid, no dynamic_cast): without
# run-time type information the vtables carry no type records and the
# std::function managers lose their type queries. Thrown types keep theirs.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
# Exceptions are thrown and caught only where a package is read (EZLibError,
# allocation failures sized by the package), where a download or a file
# operation turns an allocation failure into a default, and where the file
# handles live. The rest of the stub's code is built without them, which
# drops its clean-up paths and their tables; an exception still passes
# through it (the unwind tables stay), only without running its destructors.
option(VARNEL_SIZE_FEW_EXCEPTIONS "Exceptions only in the sources that throw, catch or hold handles" ON)
if(VARNEL_SIZE_FEW_EXCEPTIONS)
  # The sources that hold file handles and every source that throws or catches.
  file(GLOB VARNEL_EXCEPTION_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/util/FileIO*.cpp ${CMAKE_SOURCE_DIR}/src/util/Files*.cpp)
  file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
  foreach(source ${all_sources})
    file(READ ${source} text)
    if(text MATCHES "(catch|throw)[ (]")
      list(APPEND VARNEL_EXCEPTION_SOURCES ${source})
    endif()
  endforeach()
  # Source options come after the target's, so these win over -fno-exceptions.
  set_source_files_properties(${VARNEL_EXCEPTION_SOURCES} PROPERTIES COMPILE_OPTIONS -fexceptions)
endif()
# Called for the stub's libraries and the stub itself (not for the tools).
function(varnel_few_exceptions target)
  if(VARNEL_SIZE_RELEASE AND VARNEL_SIZE_FEW_EXCEPTIONS)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
  endif()
endfunction()
add_link_options(-Wl,--gc-sections)
# CMake's default list of Windows libraries (winspool, oleaut32, ...) goes:
# the targets name the system libraries they use.
set(CMAKE_C_STANDARD_LIBRARIES "-lkernel32")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lkernel32")

# The static libraries of an LTO build must be archived with the compiler's
# archiver wrappers, which CMake picks when IPO is on.
option(VARNEL_SIZE_LTO "Link-time optimisation in the size release" ON)
include(CheckIPOSupported)
set(VARNEL_LTO_SUPPORTED OFF)
if(VARNEL_SIZE_LTO)
  check_ipo_supported(RESULT VARNEL_LTO_SUPPORTED OUTPUT VARNEL_LTO_OUTPUT LANGUAGES C CXX)
endif()
if(VARNEL_LTO_SUPPORTED)
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  # mingw-w64 GCC 12 stops with an internal error (binds_to_current_def_p)
  # when the link-time code is split into partitions; one partition works.
  add_link_options(-flto-partition=one)
elseif(VARNEL_SIZE_LTO)
  message(STATUS "Link-time optimisation not available: ${VARNEL_LTO_OUTPUT}")
endif()
