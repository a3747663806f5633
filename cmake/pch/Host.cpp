// The one source of a precompiled header's host target (cmake/CompileSpeed.cmake).
