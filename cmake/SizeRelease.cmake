# Size settings of the release stub (the win32 preset sets VARNEL_SIZE_RELEASE).
# Every target of such a build is optimised for size, its code and data go
# into one section per function and object so that the linker can drop what
# nothing uses, and link-time optimisation runs where the toolchain supports
# it. The win64 test build keeps the ordinary Release settings.
function(varnel_no_exceptions target)
endfunction()
if(NOT VARNEL_SIZE_RELEASE)
  return()
endif()

set(VARNEL_SIZE_OPT "-Os" CACHE STRING "Optimisation flag of the size release")
foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS_RELEASE "${VARNEL_SIZE_OPT} -DNDEBUG")
endforeach()
add_compile_options(-ffunction-sections -fdata-sections)
# The stub's code runs on one thread (the worker of the unpacker,
# package/EntryPipeline.h, only inflates: no local statics, no exceptions):
# local statics need no lock, and without the locks the thread library stays
# out of the image.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-threadsafe-statics>)
# Nothing asks for a type at run time (no typeid, no dynamic_cast): without
# run-time type information the vtables carry no type records and the
# std::function managers lose their type queries. Thrown types keep theirs.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
# The stub's code is built without exceptions: the exception run time (the
# unwinder and the personality routine) and the unwind tables of every
# function stay out of the image. A damaged stream is a result code of the
# inflater (package/ZLibOpen.h), guarded blocks run as plain blocks
# (util/Exceptions.h), and a failed allocation or a library error ends the
# run through the stub's own allocator (stub/OutOfMemory_win32.cpp). The
# tools, the tests and the other builds keep exceptions.
function(varnel_no_exceptions target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
                                           -fno-asynchronous-unwind-tables)
  target_link_options(${target} PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables)
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
