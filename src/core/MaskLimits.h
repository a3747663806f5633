#pragma once

namespace prismeta {

struct ProjectFile;

// After a project is read: one log line for each kind of mask that is kept
// but not (fully) drawn (fewer than three points, more than
// Mask::maxDrawnMasks on a record, more than Mask::maxDrawnPoints on a mask),
// with how many there are and where the first one is. Nothing when all draw.
void logUndrawnMasks(const ProjectFile& file);

} // namespace prismeta
