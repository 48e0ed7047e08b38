# Instrumented builds. Included before any target is made, so that every
# library, program and test shares the same instrumentation (ASan and UBSan
# must see all the code of a process to be sound).
#
# CASCADE_SANITIZE: AddressSanitizer (with its leak checker) and
#   UndefinedBehaviorSanitizer; the first report ends the process.
#   float-cast-overflow is named because GCC leaves it out of "undefined".
# CASCADE_BUILD_FUZZERS: the same, plus libFuzzer's coverage instrumentation
#   (clang only); the fuzz targets themselves link libFuzzer.

option(CASCADE_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(CASCADE_BUILD_FUZZERS "Build the libFuzzer targets under fuzz/ (clang; implies CASCADE_SANITIZE)" OFF)

if(CASCADE_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CASCADE_BUILD_FUZZERS needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  set(CASCADE_SANITIZE ON)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(CASCADE_SANITIZE)
  set(cascade_sanitizers -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all)
  add_compile_options(${cascade_sanitizers} -fno-omit-frame-pointer)
  add_link_options(${cascade_sanitizers})
endif()

# CASCADE_SANITIZE_THREADS: ThreadSanitizer, for the two threads that share
# a run's work (it cannot be combined with AddressSanitizer).
option(CASCADE_SANITIZE_THREADS "Build everything with ThreadSanitizer" OFF)
if(CASCADE_SANITIZE_THREADS)
  if(CASCADE_SANITIZE)
    message(FATAL_ERROR "CASCADE_SANITIZE_THREADS and CASCADE_SANITIZE exclude each other")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
