# Run as a test: cmake -DNM=nm -DOBJECTS=a.o;b.o -P CheckSimdObjects.cmake
# An object built for a wider instruction set (a *_sse2, *_ssse3 or *_avx2
# file) must define no weak symbol: the linker keeps one copy of an inline or
# template function for the whole program, and if it kept this file's copy,
# code of that instruction set would run without the run-time check.
set(checked 0)
set(problems "")
foreach(object IN LISTS OBJECTS)
  if(NOT object MATCHES "_(sse2|ssse3|avx2)\\.cpp\\.(o|obj)$")
    continue()
  endif()
  execute_process(COMMAND ${NM} --defined-only ${object}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} could not read ${object}")
  endif()
  # The exception-handling personality's pointer (DW.ref.__gxx_personality_v0,
  # which some compilers emit beside any code that may unwind) is data every
  # object shares by design, not code of an instruction set.
  string(REGEX REPLACE "[^\n]* V DW\\.ref\\.__gxx_personality_v0\n?" "" symbols "${symbols}")
  # Nor is the type information of function types (_ZTIF..., _ZTSF...) that
  # the undefined-behaviour sanitizer's call checks emit: data, not code.
  string(REGEX REPLACE "[^\n]* V _ZT[IS]F[^\n]*\n?" "" symbols "${symbols}")
  string(REGEX MATCHALL "[^\n]* [WVu] [^\n]*" weak "${symbols}")
  if(weak)
    string(APPEND problems "\n${object}:\n  ${weak}")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no objects of SIMD files among ${OBJECTS}")
endif()
if(problems)
  message(FATAL_ERROR "SIMD objects share code with the rest of the program:${problems}")
endif()
message(STATUS "${checked} SIMD objects define no shared code")
