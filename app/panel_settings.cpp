#include "app/panel_settings.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "rendermodule/render_module.h"

void ApplyPanelModes(const PanelSettings& settings, CRenderModule& module) {
    module.SetInteractionMode(settings.interactionMode);
    module.SetNavigationMode(settings.navigateMode);
}

std::string FormatCameraText(glm::vec3 p, glm::vec3 d, glm::vec3 u) {
    // A float in %f form takes at most 47 characters (-3.4e38 written out), so
    // nine of them and the words fit in 512 bytes.
    char buffer[512];
    const int length = std::snprintf(
        buffer, sizeof buffer, "Position:(%f, %f, %f)\nOrientation:(%f, %f, %f), (%f, %f, %f)", p.x,
        p.y, p.z, d.x, d.y, d.z, u.x, u.y, u.z);
    if (length < 0) return {};
    return std::string(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
}

std::string CameraText(CRenderModule& module) {
    std::lock_guard<std::recursive_mutex> lock(module.SceneLock());
    rm::Frame* camera = module.GetD3DObj().GetCamera();
    if (camera == nullptr) return FormatCameraText({}, {}, {});
    glm::vec3 direction, up;
    camera->GetOrientation(nullptr, &direction, &up);
    return FormatCameraText(camera->GetPosition(nullptr), direction, up);
}
