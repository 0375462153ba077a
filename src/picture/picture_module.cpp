// SPDX-License-Identifier: GPL-3.0-or-later
// The renderer as tolvenar-fit's module, loaded only when a picture is written, so that a search
// alone does not load Qt.
#include "picture/picture_writer.h"

// The module's one entry, found by name when the first picture is written: the picture's bytes
// in `bytes`; false when Qt could not make them.
extern "C" [[gnu::visibility("default")]] bool
tolvenar_fit_render_picture(bool svg, const tolvenar::plot::FitPicture& picture,
                            std::string& bytes)
{
    return tolvenar::plot::picture_bytes(svg, picture, bytes);
}
