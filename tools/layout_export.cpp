// Writes the wizard's layout as shell variables for the end-to-end scripts, so that
// their clicks and pixel probes come from the one layout the program draws with.
//   layout_export OUTPUT.sh
#include "ui/layout.h"

#include <cmath>
#include <fstream>
#include <iostream>

namespace {

namespace layout = elvara::layout;

long whole(float value) { return std::lround(value); }

void box(std::ostream& out, const char* name, const layout::Box& b)
{
    out << name << "_box=\"" << whole(b.x) << ' ' << whole(b.y) << ' ' << whole(b.width) << ' ' << whole(b.height)
        << "\"\n";
    out << name << "_x=" << whole(b.x) << ' ' << name << "_y=" << whole(b.y) << ' ' << name << "_width=" << whole(b.width)
        << ' ' << name << "_height=" << whole(b.height) << '\n';
}

// A point inside a button's body: where its colour is probed and where it is clicked.
void button(std::ostream& out, const char* name, const layout::Box& b)
{
    box(out, name, b);
    out << name << "_probe=\"" << whole(b.x + 12) << ' ' << whole(b.y + 18) << "\"\n";
    out << name << "_click=\"" << whole(b.x + b.width / 2) << ' ' << whole(b.y + b.height / 2) << "\"\n";
}

// A point on the left edge of the keyboard focus ring around a box, half-way down.
void focusRing(std::ostream& out, const char* name, const layout::Box& b)
{
    const float outside = layout::focusRingGap + layout::focusRingWidth / 2;
    out << name << "_ring_probe=\"" << whole(b.x - outside) << ' ' << whole(b.y + b.height / 2) << "\"\n";
}

long channel(float value) { return std::lround(value * 255.0f); }

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: layout_export OUTPUT.sh\n";
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << "# Generated from ui/layout.h by tools/layout_export; do not edit.\n";
    out << "design_width=" << whole(layout::designWidth) << "\ndesign_height=" << whole(layout::designHeight) << '\n';
    button(out, "primary", layout::primaryButton);
    button(out, "back", layout::backButton);
    box(out, "checkbox", layout::checkbox);
    out << "checkbox_probe=\"" << whole(layout::checkbox.x + 10) << ' ' << whole(layout::checkbox.y + 10) << "\"\n";
    box(out, "headline", layout::headline);
    box(out, "result_text", layout::resultText);
    box(out, "daw_hint", layout::dawHint);
    box(out, "bundle_folder_text", layout::bundleFolderText);
    box(out, "licence_text", layout::licenceText);
    focusRing(out, "primary", layout::primaryButton);
    focusRing(out, "back", layout::backButton);
    focusRing(out, "checkbox", layout::checkboxItem);
    focusRing(out, "licence_text", layout::licenceText);
    const layout::Colour ring = layout::focusRingColour;
    out << "focus_ring_rgb=\"" << channel(ring.r) << ' ' << channel(ring.g) << ' ' << channel(ring.b) << "\"\n";
    const auto rgb = [&out](const char* name, layout::Rgb8 colour) {
        out << name << "=\"" << int{colour.r} << ' ' << int{colour.g} << ' ' << int{colour.b} << "\"\n";
    };
    rgb("licence_background_rgb", layout::windowBackground);
    rgb("licence_text_rgb", layout::licenceTextColour);
    out.close();
    return out ? 0 : 1;
}
