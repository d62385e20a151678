// The control panel's three settings, which outlive any one panel (the main
// window keeps them), and the text of its "Test" button.
#pragma once

#include <string>

#include <glm/vec3.hpp>

#include "rendermodule/render_module.h"

struct PanelSettings {
    InteractionMode interactionMode = InteractionMode::Navigate;
    NavigationMode navigateMode = NavigationMode::Camera;
    int navigateSpeed = 0;  // 0 1x, 1 5x, 2 10x
};

// Hands the interaction and navigate modes to the render module, so the mouse and
// the keys do what the panel shows (edit mode makes picking reachable).
void ApplyPanelModes(const PanelSettings& settings, CRenderModule& module);

// "Position:(x, y, z)\nOrientation:(dx, dy, dz), (ux, uy, uz)" in %f form, whole
// whatever the size of the numbers.
std::string FormatCameraText(glm::vec3 position, glm::vec3 direction, glm::vec3 up);

// The camera frame's position and orientation in world coordinates, as "Test" shows them.
std::string CameraText(CRenderModule& module);
