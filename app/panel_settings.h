// The control panel's three process-wide settings, which outlive any one panel,
// and the text of its "Test" button.
#pragma once

#include <string>

#include <glm/vec3.hpp>

class CRenderModule;

struct PanelSettings {
    int interactionMode = 0;  // 0 Navigate, 1 Edit
    int navigateMode = 0;     // 0 Camera, 1 World
    int navigateSpeed = 0;    // 0 1x, 1 5x, 2 10x
};

// The one instance of the process; every panel reads and writes it.
PanelSettings& ControlPanelSettings();

// Hands the interaction and navigate modes to the render module, so the mouse and
// the keys do what the panel shows (edit mode makes picking reachable).
void ApplyPanelModes(const PanelSettings& settings, CRenderModule& module);

// "Position:(x, y, z)\nOrientation:(dx, dy, dz), (ux, uy, uz)" in %f form, whole
// whatever the size of the numbers.
std::string FormatCameraText(glm::vec3 position, glm::vec3 direction, glm::vec3 up);

// The camera frame's position and orientation in world coordinates, as "Test" shows them.
std::string CameraText(CRenderModule& module);
