// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/pointer.h"

#include "core/runtime/fault.h"

namespace tolvenar::pointer {

QCursor cursor_of(int code)
{
    switch (code) {
    case kDefault: return QCursor();
    case kArrow: return Qt::ArrowCursor;
    case kCross: return Qt::CrossCursor;
    case kIBeam: return Qt::IBeamCursor;
    case kIcon: return Qt::ArrowCursor;
    case kSizeAll: return Qt::SizeAllCursor;
    case kSizeRising: return Qt::SizeBDiagCursor;
    case kSizeVertical: return Qt::SizeVerCursor;
    case kSizeFalling: return Qt::SizeFDiagCursor;
    case kSizeHorizontal: return Qt::SizeHorCursor;
    case kUpArrow: return Qt::UpArrowCursor;
    case kHourglass: return Qt::WaitCursor;
    case kNoDrop: return Qt::ForbiddenCursor;
    case kBusy: return Qt::BusyCursor;
    case kHelp: return Qt::WhatsThisCursor;
    case kFourWay: return Qt::SizeAllCursor;
    default: throw Fault(FaultKind::InvalidPropertyValue, "MousePointer");
    }
}

}  // namespace tolvenar::pointer
