// A picture of the chip as one run found it: one square per block, coloured
// by what the run found there, as an SVG file a browser shows.
#pragma once

#include <string>

#include "jobs/BadBlocks.h"
#include "jobs/Geometry.h"
#include "jobs/Targets.h"

// The class of a block's square in the picture, and its legend text.
const char* BlockStateClass(BlockState state);
const char* BlockStateLegend(BlockState state);

// The whole picture. chipName and run ("scan", "blank check", "verify") go
// into its heading; each square's tooltip names its block and pages. With
// several targets the blocks count across them, chipName names them, and each
// target's blocks start a row of their own under its chip enable; a tooltip
// names a block's chip enable and LUN as the log does.
std::string ChipMapSvg(const std::string& chipName, const char* run, const Geometry& geometry, const BlockMap& map,
                       const ChipLayout& layout);
