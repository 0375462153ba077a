// SPDX-License-Identifier: GPL-3.0-or-later
// The events a scan found, marked on the overview strip: a shaded band from each one's onset to
// its end with a tick at either side and its number above. The marks lie over the strip's
// drawing, under the crop window, and let the mouse through to the strip; they follow its size,
// and its scale when the strip is drawn again (update()).
#pragma once

#include "core/report/scan_output.h"

#include <QWidget>

#include <vector>

namespace tolvenar {

class PictureBox;

class EventMarks final : public QWidget {
public:
    explicit EventMarks(PictureBox* strip);

    void setSpans(std::vector<EventSpan> spans);  // data x; none: no marks
    const std::vector<EventSpan>& spans() const { return m_spans; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PictureBox* m_strip;
    std::vector<EventSpan> m_spans;
};

}  // namespace tolvenar
