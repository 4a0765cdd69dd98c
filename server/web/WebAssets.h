#pragma once

// The files the pages load, built into the program from server/web/assets
// and the app's icon.
namespace WebAssets {
extern const char *const styleSheet; // /web/style.css
extern const char *const markSvg;    // /web/mark.svg, the app's icon
} // namespace WebAssets
