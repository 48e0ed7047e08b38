# Instrumented builds. Included before any target is made, so that every
# library, program and test shares the same instrumentation (ASan and UBSan
# must see all the code of a process to be sound).
#
# CASCADE_SANITIZE: AddressSanitizer (with its leak checker) and
#   UndefinedBehaviorSanitizer; the first report ends the process.
#   float-cast-overflow is named because GCC leaves it out of "undefined".

option(CASCADE_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(CASCADE_SANITIZE)
  set(cascade_sanitizers -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all)
  add_compile_options(${cascade_sanitizers} -fno-omit-frame-pointer)
  add_link_options(${cascade_sanitizers})
endif()
