# prismeta_warnings(target): the project's warning set, applied per target so
# that third-party headers stay out of it.
function(prismeta_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast
                                           -Woverloaded-virtual)
endfunction()
