if(PRISMETA_SANITIZE AND PRISMETA_TSAN)
  message(FATAL_ERROR "PRISMETA_SANITIZE and PRISMETA_TSAN cannot be combined")
endif()

# The engine's libraries are static, except in the ASan+UBSan build: there,
# every check carries static data of its own, so the instrumented engine is
# 140 MB, and eighty test programs each with a copy of it came to 8 GB of
# programs in one build folder (enough to fill a CI machine's disk). Shared,
# it is on the disk once.
if(PRISMETA_SANITIZE)
  set(PRISMETA_LIBRARY_TYPE SHARED)
else()
  set(PRISMETA_LIBRARY_TYPE STATIC)
endif()

if(PRISMETA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(PRISMETA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
