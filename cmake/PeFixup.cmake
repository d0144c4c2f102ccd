# pe_fixup runs on the build machine. In a cross build it is compiled with the
# host compiler directly, so no separate native build is needed first.
set(PE_FIXUP_SOURCE ${CMAKE_SOURCE_DIR}/tools/pe-fixup/pe_fixup.cpp)
if(CMAKE_CROSSCOMPILING)
  find_program(VARNEL_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(PE_FIXUP_EXE ${CMAKE_BINARY_DIR}/host/pe_fixup)
  add_custom_command(OUTPUT ${PE_FIXUP_EXE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${VARNEL_HOST_CXX} -std=c++17 -O2 -Wall -Wextra ${PE_FIXUP_SOURCE} -o ${PE_FIXUP_EXE}
    DEPENDS ${PE_FIXUP_SOURCE}
    COMMENT "Building host pe_fixup")
  add_custom_target(pe_fixup_host DEPENDS ${PE_FIXUP_EXE})
else()
  add_executable(pe_fixup ${PE_FIXUP_SOURCE})
  target_compile_options(pe_fixup PRIVATE -Wall -Wextra)
  set(PE_FIXUP_EXE $<TARGET_FILE:pe_fixup>)
  add_custom_target(pe_fixup_host DEPENDS pe_fixup)
endif()

# Gives a Windows executable target the stub layout: "PE" at offset 256 and
# bytes 248..255 free for the package end pointer.
function(varnel_stub_layout target)
  add_dependencies(${target} pe_fixup_host)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${PE_FIXUP_EXE} $<TARGET_FILE:${target}>
    COMMENT "Moving the PE headers of ${target} to offset 256")
endfunction()
