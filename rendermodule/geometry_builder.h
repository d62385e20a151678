// Geometry builders: fill a retained-mode meshbuilder with the faces of one
// primitive (box, sphere, cone, cylinder, circle, rectangle, flat polygon, the
// background sphere) and its texture coordinates, and build the pick
// highlight. Callers hold the scene lock. Builders that make wraps or
// meshbuilders of their own take the retained-mode root that makes them; every
// builder does nothing when given a null meshbuilder or frame.
#pragma once

#include <glm/glm.hpp>

#include "retained/retained_mode.h"

// Every builder sets the meshbuilder colour to (0.8, 0.8, 0.8) after its faces.
void GetACircle(rm::RetainedMode& rm, rm::MeshBuilder* mb, float radius);
void GetARect(rm::MeshBuilder* mb, float x, float y);
// `points` holds count (x, y) pairs; count must be at least 3.
void GetAPolygon(rm::RetainedMode& rm, rm::MeshBuilder* mb, const float* points, int count);
void GetABox(rm::MeshBuilder* mb, float x, float y, float z);
void GetABoxFromCorners(rm::MeshBuilder* mb, const rm::Box& box);
void GetASphere(rm::MeshBuilder* mb, float radius, int longitude, int latitude);
// A sphere seen from inside: normals inward, faces reversed, texture mirrored.
void GetABackgroundSphere(rm::MeshBuilder* mb, float radius, int longitude, int latitude);
void GetACone(rm::MeshBuilder* mb, float bottomRadius, float height, int segments);
void GetACylinder(rm::RetainedMode& rm, rm::MeshBuilder* mb, float radius, float height,
                  int segments);
// The pick highlight: a wireframe box over `box` and a small green box on each corner,
// added as visuals of `frame`.
void GetASelectionBox(rm::RetainedMode& rm, rm::Frame* frame, const rm::Box& box);

// Texture coordinates through a wrap: flat over the x/y extent, spherical, and
// cylindrical around y over the y extent.
void MakeWarpFlat(rm::RetainedMode& rm, rm::MeshBuilder* mb);
void MakeWarpSpherical(rm::RetainedMode& rm, rm::MeshBuilder* mb);
void MakeWrap(rm::RetainedMode& rm, rm::MeshBuilder* mb);
