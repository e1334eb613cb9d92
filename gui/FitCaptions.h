// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// The windows place every control at a fixed size. A desktop font larger than
// the one the layout was drawn for would cut captions short; this shrinks the
// font of each caption that does not fit (labels, buttons, option buttons,
// frame titles) until it does, moving and sizing nothing.
void fitCaptions(QWidget *window);
