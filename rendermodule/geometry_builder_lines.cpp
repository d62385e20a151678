// Lines and points: IndexedLineSet (and its 2-D form) as polylines, PointSet (and its
// 2-D form) as points, with their colours.
#include <cstdint>

#include "rendermodule/geometry_builder.h"
#include "trace/message_sink.h"

namespace {

glm::vec3 Vec(const SFColor& c) {
    return {c.GetR(), c.GetG(), c.GetB()};
}

// Colour number `index` of `colors`, or `plain` (with the problem noted) when there is none.
glm::vec3 ColorAt(const std::vector<SFColor>& colors, std::int64_t index, glm::vec3 plain,
                  GeometryProblems& problems) {
    if (index < 0) {
        problems |= kNegativeIndex;
        return plain;
    }
    if (static_cast<std::uint64_t>(index) >= colors.size()) {
        problems |= kIndexPastList;
        return plain;
    }
    return Vec(colors[static_cast<std::size_t>(index)]);
}

}  // namespace

GeometryProblems GetALineSet(rm::MeshBuilder* mb, LineSetInput&& in) {
    GeometryProblems problems = 0;
    if (mb == nullptr) return problems;
    rm::PolygonMesh m;
    const glm::vec3 plain = mb->GetColor();
    const std::vector<SFColor>* colors = in.colors;
    m.cornerVertex.reserve(in.coordIndex.size());
    if (colors != nullptr) m.cornerColor.reserve(in.coordIndex.size());
    // The colour of the polyline being read, when colours go per polyline: from
    // colorIndex by polyline number, else the colours in order.
    std::size_t line = 0;
    auto lineColor = [&] {
        if (in.colorIndex.empty())
            return ColorAt(*colors, static_cast<std::int64_t>(line), plain, problems);
        if (line >= in.colorIndex.size()) {
            problems |= kMissingValues;
            return plain;
        }
        return ColorAt(*colors, in.colorIndex[line].Get(), plain, problems);
    };
    std::uint32_t open = 0;
    glm::vec3 color = plain;
    auto close = [&] {
        if (open >= 2) {
            m.polygonSizes.push_back(open);
        } else {  // a single point draws no line
            m.cornerVertex.resize(m.cornerVertex.size() - open);
            if (colors != nullptr) m.cornerColor.resize(m.cornerColor.size() - open);
        }
        open = 0;
        ++line;
    };
    for (std::size_t slot = 0; slot < in.coordIndex.size(); ++slot) {
        const std::int32_t index = in.coordIndex[slot].Get();
        if (index == -1) {
            close();
            continue;
        }
        if (index < 0) {
            problems |= kNegativeIndex;
            continue;
        }
        if (static_cast<std::size_t>(index) >= in.points.size()) {
            problems |= kIndexPastList;
            continue;
        }
        if (colors != nullptr) {
            if (!in.colorPerVertex) {
                if (open == 0) color = lineColor();
            } else if (in.colorIndex.empty()) {
                color = ColorAt(*colors, index, plain, problems);
            } else if (slot < in.colorIndex.size()) {
                color = ColorAt(*colors, in.colorIndex[slot].Get(), plain, problems);
            } else {
                problems |= kMissingValues;
                color = plain;
            }
            m.cornerColor.push_back(color);
        }
        m.cornerVertex.push_back(static_cast<std::uint32_t>(index));
        ++open;
    }
    if (open > 0) close();  // the last polyline need not end with -1
    m.vertices = std::move(in.points);
    if (rm::Failed(mb->AddPolylines(std::move(m))))
        ShowMessage("Failed to add lines when building a line set.");
    return problems;
}

GeometryProblems GetAPointSet(rm::MeshBuilder* mb, std::vector<glm::vec3>&& points,
                              const std::vector<SFColor>* colors) {
    GeometryProblems problems = 0;
    if (mb == nullptr || points.empty()) return problems;
    rm::PolygonMesh m;
    const std::size_t n = points.size();
    m.polygonSizes.assign(1, static_cast<std::uint32_t>(n));
    m.cornerVertex.resize(n);
    for (std::size_t i = 0; i < n; ++i) m.cornerVertex[i] = static_cast<std::uint32_t>(i);
    if (colors != nullptr) {
        const glm::vec3 plain = mb->GetColor();
        m.cornerColor.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            m.cornerColor.push_back(i < colors->size() ? Vec((*colors)[i]) : plain);
        if (colors->size() < n) problems |= kMissingValues;
    }
    m.vertices = std::move(points);
    if (rm::Failed(mb->AddPoints(std::move(m))))
        ShowMessage("Failed to add points when building a point set.");
    return problems;
}
