// <windows.h> for this project's Win32 files: without the old near/far macros, which
// would erase the chart model's VisibleGem::near field.
#pragma once

#include <windows.h>

#undef near
#undef far
