// The AEffect dispatcher: the one switch over the host's opcodes (UI thread).
#pragma once

#include <cstdint>

#include "plugin/vst_abi.h"

intptr_t dispatcher_entry(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                          void* ptr, float opt) noexcept;
