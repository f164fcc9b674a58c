#pragma once

namespace orvel {

// The window's geometry was laid out for an 8-point dialog font of Arial's widths;
// Liberation Sans has those widths, where DejaVu Sans would clip the captions.
void applyDialogFont();

}  // namespace orvel
