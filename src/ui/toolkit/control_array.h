// SPDX-License-Identifier: GPL-3.0-or-later
// A control array: members that share a name and are told apart by a 16-bit index.
#pragma once

#include "core/runtime/fault.h"

#include <array>
#include <cstddef>

namespace tolvenar {

template <typename Member, int First, int Last>
class ControlArray {
    static_assert(First <= Last);

public:
    static constexpr int LBound = First;
    static constexpr int UBound = Last;

    // Member `index`; an index outside First..Last raises IndexOutOfRange as the runtime does.
    Member* operator[](int index) const { return m_members[slot(index)]; }
    void set(int index, Member* member) { m_members[slot(index)] = member; }

    auto begin() const { return m_members.begin(); }
    auto end() const { return m_members.end(); }

private:
    static std::size_t slot(int index)
    {
        if (index < First || index > Last)
            throw Fault(FaultKind::IndexOutOfRange, "control array");
        return static_cast<std::size_t>(index - First);
    }

    std::array<Member*, Last - First + 1> m_members{};
};

}  // namespace tolvenar
