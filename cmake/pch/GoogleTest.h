// GoogleTest over the standard library, precompiled for the GoogleTest
// programs and their support libraries (cmake/CompileSpeed.cmake).
#pragma once

#include "Engine.h"

#include <gtest/gtest.h>
