// The tables scene translation builds and the router and render module read:
// interpolators by node, retained-mode objects by node, and the viewpoints.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "node/node_typedef.h"
#include "rendermodule/interpolator.h"
#include "retained/object.h"

class SingleNode;

// Interpolator node -> its runtime form.
using InterpolatorTable = std::map<const SingleNode*, CInterpolator>;
// Transform node -> its frame; Material node -> the meshbuilder of the shape using it.
using NodeObjectTable = std::map<const SingleNode*, rm::Ptr<rm::Object>>;

struct ViewpointRecord {
    std::string name;
    SFVec3f position;
    SFRotation orientation;
};
using ViewpointList = std::vector<ViewpointRecord>;
