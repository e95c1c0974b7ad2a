# Compiler options shared by every target of the project.

if(VEXIL_BUILD_FUZZ)
  # Everything is instrumented for coverage; only the targets link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(VEXIL_SANITIZE)
  add_compile_options(-fsanitize=${VEXIL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VEXIL_SANITIZE})
endif()

function(vexil_target_options target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
    if(VEXIL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # The sanitizers' instrumentation makes GCC's flow analysis report
      # uninitialised values that are not; the sanitizers check the real ones.
      target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
    if(VEXIL_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# 32-bit x86 computes in SSE2 registers, not on the x87 stack: x87 keeps
# intermediate values in 80 bits, so the same float arithmetic (the audio
# transforms, the encoder's DCT) would round differently from every other
# build, and the programs would write other bytes than on 64-bit systems.
# Every processor the programs run on has SSE2.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" AND NOT MSVC)
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# Files named *_sse2.cpp, *_ssse3.cpp, *_avx2.cpp hold SIMD kernels; they are
# compiled for that instruction set and only called after a run-time check.
# Each holds its kernels under `#if VEXIL_X86` (platform/cpu.h) in an unnamed
# namespace and exports only its family's getter of the set, so no code built
# for the wider instruction set can stand in for a shared inline function.
function(vexil_simd_sources target sources)
  if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86|x86)$")
    return()
  endif()
  foreach(src IN LISTS sources)
    if(src MATCHES "_sse2\\.cpp$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-msse2")
    elseif(src MATCHES "_ssse3\\.cpp$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-mssse3")
    elseif(src MATCHES "_avx2\\.cpp$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-mavx2")
    endif()
  endforeach()
endfunction()
