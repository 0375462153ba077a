// SPDX-License-Identifier: GPL-3.0-or-later
// A kernel compiled for one instruction set, and which of the wider sets this processor runs:
// the one test by which every kernel chooses its variants when the program starts.
#pragma once

namespace tolvenar {

template <class Function>
struct KernelVariant {
    const char* name;
    Function function;
};

struct InstructionSets {
    bool avx2 = false;
    bool avx512 = false;  // F, VL, DQ and BW, the set the AVX-512 variants are compiled for
};

inline InstructionSets instruction_sets()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return {__builtin_cpu_supports("avx2") != 0,
            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw")};
#else
    return {};
#endif
}

}  // namespace tolvenar
