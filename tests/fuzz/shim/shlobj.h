// Linux stand-in for the Windows header of this name.
#pragma once
#include "korvo_win32_shim.h"
