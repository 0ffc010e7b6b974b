#pragma once
// Which entities of a space a pick reaches, in drawing (world) coordinates:
// the one nearest a point, those wholly inside a box (a window) and those
// inside or crossing it (a crossing). The view turns pixels into world
// distances through its Viewport; nothing here knows about the screen.
//
// Curves are measured on a chord approximation whose error is the caller's
// tolerance (a fraction of a pixel in world units). A text counts as the
// rectangle its glyphs roughly fill (about a cap height per CJK character,
// a little more than half that per narrower one), area included, since the
// font that draws it is not known here. Erased entities are never reached.

#include <optional>
#include <vector>

#include "model/DrawingDocument.h"

namespace tessik::cadhost {

// The entity nearest (x, y) no farther than reach; ties go to the later one
// (the one drawn on top). chordError: the curves' approximation, > 0.
std::optional<int> nearestEntity(const CadSpace& space, double x, double y, double reach,
                                 double chordError);

// Entities wholly inside box, or (crossing) with any part inside it;
// ascending indices.
std::vector<int> entitiesInBox(const CadSpace& space, const Bounds& box, bool crossing,
                               double chordError);

}  // namespace tessik::cadhost
