#include "rendermodule/node_dealer.h"

#include <cmath>
#include <cstdio>

#include "node/nodes.h"
#include "rendermodule/geometry_builder.h"
#include "trace/message_sink.h"

namespace {

// Every unnamed viewpoint of the process gets the next number: never reset.
int g_viewpointCounter = 0;

template <class T>
T* As(SFWorldNode* node) {
    return dynamic_cast<T*>(static_cast<SingleNode*>(node));
}

template <class NDT>
SingleNode* Held(const SFNodeField<NDT>& field) {
    NDT* node = field.get();
    return node ? static_cast<SingleNode*>(node) : nullptr;
}

SFWorldNode* World(SingleNode* node) {
    return dynamic_cast<SFWorldNode*>(node);
}

}  // namespace

CNodeDealer::~CNodeDealer() {
    m_mesh.Reset();
    m_frames.clear();
}

void CNodeDealer::Reset(CD3DObj* display) {
    m_display = display;
    m_texture.SetPicture(&m_picture);
    m_mesh.Reset();
    m_frames.clear();
    if (display != nullptr && display->GetWorld() != nullptr)
        m_frames.emplace_back(display->GetWorld());
    m_interpolators.clear();
    m_nodeObjects.clear();
    m_viewpoints.clear();
    SetBuilderD3DRM(RM());
    m_texture.SetD3DRM(RM());
    m_texture.SetDDrawObj(display ? display->GetDDrawObj() : nullptr);
}

// ---- Nodes that make nothing ----

int CNodeDealer::Enter_Appearance(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_Bitmap(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_Color(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_Coordinate2D(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_Expression(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_FAP(SingleNode*, SFWorldNode*) {
    return 1;
}
int CNodeDealer::Enter_Group(SingleNode*, SFWorldNode*) {
    return 2;
}
int CNodeDealer::Enter_IndexLineSet2D(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_Layer2D(SingleNode*, SFWorldNode*) {
    return 2;
}
int CNodeDealer::Enter_MovieTexture(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_OrderedGroup(SingleNode*, SFWorldNode*) {
    return 2;
}
int CNodeDealer::Enter_PointSet2D(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_Sound2D(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_SpotLight(SingleNode*, SFWorldNode*) {
    return 1;
}
int CNodeDealer::Enter_TextureTransform(SingleNode*, SFWorldNode*) {
    return 0;
}
int CNodeDealer::Enter_TimeSensor(SingleNode*, SFWorldNode*) {
    return 1;
}
int CNodeDealer::Enter_Viseme(SingleNode*, SFWorldNode*) {
    return 0;
}

// ---- Geometry: each fills the current meshbuilder (nothing without one) ----

int CNodeDealer::Enter_Box(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Box>(node))
        GetABox(m_mesh.Get(), n->size().GetX(), n->size().GetY(), n->size().GetZ());
    return 0;
}

int CNodeDealer::Enter_Circle(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Circle>(node)) GetACircle(m_mesh.Get(), n->radius().Get());
    return 0;
}

int CNodeDealer::Enter_Cone(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Cone>(node))
        GetACone(m_mesh.Get(), n->bottomRadius().Get(), n->height().Get(), 48);
    return 0;
}

int CNodeDealer::Enter_Cylinder(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Cylinder>(node))
        GetACylinder(m_mesh.Get(), n->radius().Get(), n->height().Get(), 48);
    return 0;
}

int CNodeDealer::Enter_Rectangle(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<_Rectangle>(node)) GetARect(m_mesh.Get(), n->size().GetX(), n->size().GetY());
    return 0;
}

int CNodeDealer::Enter_Sphere(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Sphere>(node)) GetASphere(m_mesh.Get(), n->radius().Get(), 24, 16);
    return 0;
}

int CNodeDealer::Enter_FDP(SingleNode*, SFWorldNode*) {
    GetABox(m_mesh.Get(), 2, 2, 2);
    return 2;
}

int CNodeDealer::Enter_IndexedFaceSet(SingleNode*, SFWorldNode* node) {
    auto* set = As<IndexedFaceSet>(node);
    rm::RetainedMode* rm = RM();
    if (set == nullptr || !m_mesh || rm == nullptr) return 0;
    auto* coord = dynamic_cast<Coordinate*>(Held(set->coord()));
    if (coord == nullptr) return 0;
    const auto& points = coord->point().Values();
    rm::Ptr<rm::Face> face;
    if (rm::Failed(rm->CreateFace(face.Put()))) return 0;
    for (const SFInt32& entry : set->coordIndex().Values()) {
        int index = entry.Get();
        if (index == -1) {
            m_mesh->AddFace(face.Get());
            if (rm::Failed(rm->CreateFace(face.Put()))) return 0;
        } else if (index >= 0 && static_cast<std::size_t>(index) < points.size()) {
            const SFVec3f& p = points[index];
            face->AddVertex(p.GetX(), p.GetY(), p.GetZ());
        }
        // An index outside the point list names no point and is skipped.
    }
    // The last polygon without its closing -1 is dropped.
    return 0;
}

int CNodeDealer::Enter_IndexedFaceSet2D(SingleNode*, SFWorldNode* node) {
    auto* set = As<IndexedFaceSet2D>(node);
    if (set == nullptr) return 0;
    auto* coord = dynamic_cast<Coordinate2D*>(Held(set->coord()));
    if (coord == nullptr) return 0;
    std::vector<float> xy;
    for (const SFVec2f& p : coord->point().Values()) {
        xy.push_back(p.GetX());
        xy.push_back(p.GetY());
    }
    int count = static_cast<int>(xy.size() / 2);
    if (count > 2) GetAPolygon(m_mesh.Get(), xy.data(), count);
    return 0;
}

// ---- Appearance ----

int CNodeDealer::Enter_Material(SingleNode*, SFWorldNode* node) {
    auto* m = As<Material>(node);
    rm::RetainedMode* rm = RM();
    // A Material outside a Shape has no meshbuilder to colour.
    if (m == nullptr || rm == nullptr || !m_mesh) return 0;
    rm::Ptr<rm::Material> material;
    // A shininess of 0 gives an infinite power; the retained layer clamps it.
    if (rm::Failed(rm->CreateMaterial(1.0f / m->shininess().Get(), material.Put()))) {
        ShowMessage("Failed to create material!");
        return 0;
    }
    const SFColor& d = m->diffuseColor();
    const SFColor& e = m->emissiveColor();
    const SFColor& s = m->specularColor();
    material->SetAmbient(d.GetR(), d.GetG(), d.GetB());
    material->SetEmissive(e.GetR(), e.GetG(), e.GetB());
    material->SetSpecular(s.GetR(), s.GetG(), s.GetB());
    m_mesh->SetMaterial(material.Get());
    m_nodeObjects[static_cast<SingleNode*>(m)] = rm::Ptr<rm::Object>(m_mesh.Get());
    return 0;
}

int CNodeDealer::Enter_Material2D(SingleNode*, SFWorldNode* node) {
    auto* m = As<Material2D>(node);
    if (m != nullptr && m_mesh) {
        const SFColor& e = m->emissiveColor();
        m_mesh->SetColorRGB(e.GetR(), e.GetG(), e.GetB());
    }
    return 0;
}

bool CNodeDealer::LoadTexture(const std::string& url) {
    if (!m_picture.Load(url, 0)) {
        ShowMessage("File name error!");
        return false;
    }
    rm::Ptr<rm::Texture> texture = rm::Ptr<rm::Texture>::Adopt(m_texture.MakeTexture());
    if (texture && m_mesh) m_mesh->SetTexture(texture.Get());
    return true;
}

int CNodeDealer::Enter_ImageTexture(SingleNode*, SFWorldNode* node) {
    auto* t = As<ImageTexture>(node);
    // Outside a Shape there is no meshbuilder to put the texture on.
    if (t != nullptr && m_mesh && t->url().GetCount() > 0) LoadTexture(t->url()[0].Get());
    return 1;
}

int CNodeDealer::Enter_Background(SingleNode*, SFWorldNode* node) {
    auto* bg = As<Background>(node);
    rm::RetainedMode* rm = RM();
    if (bg == nullptr || rm == nullptr) return 1;
    if (rm::Failed(rm->CreateMeshBuilder(m_mesh.Put()))) return 1;
    GetABackgroundSphere(m_mesh.Get(), 1000, 48, 48);
    if (bg->backUrl().GetCount() == 0) return 1;
    LoadTexture(bg->backUrl()[0].Get());
    rm::Ptr<rm::Material> material;
    if (rm::Failed(rm->CreateMaterial(1.0f, material.Put()))) {
        ShowMessage("Failed to create material!");
    } else {
        material->SetEmissive(1, 1, 1);
        m_mesh->SetMaterial(material.Get());
    }
    m_mesh->SetQuality(m_quality);
    if (m_display && m_display->GetWorld()) m_display->GetWorld()->AddVisual(m_mesh.Get());
    return 1;
}

void CNodeDealer::Exit_Background(SingleNode*, SFWorldNode*) {
    m_mesh.Reset();
}

int CNodeDealer::Enter_Background2D(SingleNode*, SFWorldNode* node) {
    auto* bg = As<Background2D>(node);
    if (bg != nullptr && m_display && m_display->GetScene()) {
        const SFColor& c = bg->backColor();
        m_display->GetScene()->SetSceneBackgroundRGB(c.GetR(), c.GetG(), c.GetB());
    }
    return 1;
}

// ---- Shape and Face ----

int CNodeDealer::Enter_Shape(SingleNode* parent, SFWorldNode* node) {
    auto* shape = As<Shape>(node);
    rm::RetainedMode* rm = RM();
    if (shape == nullptr || rm == nullptr) return 1;
    if (rm::Failed(rm->CreateMeshBuilder(m_mesh.Put()))) {
        ShowMessage("Failed to create meshbuilder when Enter_Shape");
        m_mesh.Reset();
    }
    SingleNode* self = shape;
    if (SingleNode* geometry = Held(shape->geometry())) {
        SFWorldNode* g = World(geometry);
        switch (GetNodeType(*geometry)) {
            case Box::kNodeType:
                Enter_Box(self, g);
                break;
            case Circle::kNodeType:
                Enter_Circle(self, g);
                break;
            case Cone::kNodeType:
                Enter_Cone(self, g);
                break;
            case Cylinder::kNodeType:
                Enter_Cylinder(self, g);
                break;
            case IndexedFaceSet::kNodeType:
                Enter_IndexedFaceSet(self, g);
                break;
            case IndexedFaceSet2D::kNodeType:
                Enter_IndexedFaceSet2D(self, g);
                break;
            case _Rectangle::kNodeType:
                Enter_Rectangle(self, g);
                break;
            case Sphere::kNodeType:
                Enter_Sphere(self, g);
                break;
            default:
                ShowMessage("Geometry type not supported!");
                break;
        }
    }
    if (auto* appearance = dynamic_cast<Appearance*>(Held(shape->appearance()))) {
        SingleNode* a = appearance;
        if (SingleNode* material = Held(appearance->material())) {
            switch (GetLocalCodeInNDT(NDT_SFMaterialNode, GetNodeType(*material))) {
                case 1:
                    Enter_Material(a, World(material));
                    break;
                case 2:
                    Enter_Material2D(a, World(material));
                    break;
                default:
                    ShowMessage("unrecognized material type!");
                    break;
            }
        }
        if (SingleNode* texture = Held(appearance->texture())) {
            switch (GetNodeType(*texture)) {
                case ImageTexture::kNodeType:
                    Enter_ImageTexture(a, World(texture));
                    break;
                case MovieTexture::kNodeType:
                    Enter_MovieTexture(a, World(texture));
                    break;
                default:
                    ShowMessage("Appearance type not supported!");
                    break;
            }
        }
        if (SingleNode* transform = Held(appearance->textureTransform()))
            Enter_TextureTransform(a, World(transform));
    }
    (void)parent;
    if (m_mesh) {
        m_mesh->SetQuality(m_quality);
        rm::Frame* frame = CurrentFrame();
        if (frame == nullptr || rm::Failed(frame->AddVisual(m_mesh.Get())))
            ShowMessage("Failed to AddVisual when ExecRender.");
    }
    return 1;
}

void CNodeDealer::Exit_Shape(SingleNode*, SFWorldNode*) {
    m_mesh.Reset();
}

int CNodeDealer::Enter_Face(SingleNode*, SFWorldNode*) {
    rm::RetainedMode* rm = RM();
    if (rm == nullptr || rm::Failed(rm->CreateMeshBuilder(m_mesh.Put()))) {
        ShowMessage("Failed to create meshbuilder when Enter_Face");
        m_mesh.Reset();
    }
    return 2;
}

void CNodeDealer::Exit_Face(SingleNode*, SFWorldNode*) {
    if (m_mesh) {
        m_mesh->SetQuality(m_quality);
        rm::Frame* frame = CurrentFrame();
        if (frame == nullptr || rm::Failed(frame->AddVisual(m_mesh.Get())))
            ShowMessage("Failed to AddVisual when Exit_Face.");
    }
    m_mesh.Reset();
}

// ---- Transforms ----

int CNodeDealer::Enter_Transform(SingleNode*, SFWorldNode* node) {
    auto* t = As<Transform>(node);
    rm::RetainedMode* rm = RM();
    rm::Ptr<rm::Frame> frame;
    if (t != nullptr && rm != nullptr && CurrentFrame() != nullptr &&
        rm::Succeeded(rm->CreateFrame(CurrentFrame(), frame.Put()))) {
        const SFVec3f& c = t->center();
        const SFRotation& so = t->scaleOrientation();
        const SFRotation& r = t->rotation();
        const SFVec3f& s = t->scale();
        const SFVec3f& tr = t->translation();
        // A point goes through -center first and translation last.
        frame->AddTranslation(rm::Combine::After, -c.GetX(), -c.GetY(), -c.GetZ());
        frame->AddRotation(rm::Combine::After, so.GetX(), so.GetY(), so.GetZ(), -so.GetAngle());
        frame->AddScale(rm::Combine::After, s.GetX(), s.GetY(), s.GetZ());
        frame->AddRotation(rm::Combine::After, so.GetX(), so.GetY(), so.GetZ(), so.GetAngle());
        frame->AddRotation(rm::Combine::After, r.GetX(), r.GetY(), r.GetZ(), r.GetAngle());
        frame->AddTranslation(rm::Combine::After, c.GetX(), c.GetY(), c.GetZ());
        frame->AddTranslation(rm::Combine::After, tr.GetX(), tr.GetY(), tr.GetZ());
        m_nodeObjects[static_cast<SingleNode*>(t)] = rm::Ptr<rm::Object>(frame.Get());
    }
    // Pushed even when empty, so that the exit handler's pop stays balanced.
    m_frames.push_back(std::move(frame));
    return 2;
}

void CNodeDealer::PopFrame() {
    // The world frame at the bottom stays: only frames this dealer pushed go.
    if (m_frames.size() > 1) m_frames.pop_back();
}

void CNodeDealer::Exit_Transform(SingleNode*, SFWorldNode*) {
    PopFrame();
}

int CNodeDealer::Enter_Transform2D(SingleNode*, SFWorldNode* node) {
    auto* t = As<Transform2D>(node);
    rm::RetainedMode* rm = RM();
    rm::Ptr<rm::Frame> frame;
    if (t != nullptr && rm != nullptr && CurrentFrame() != nullptr &&
        rm::Succeeded(rm->CreateFrame(CurrentFrame(), frame.Put()))) {
        const SFVec2f& c = t->center();
        const SFVec2f& s = t->scale();
        const SFVec2f& tr = t->translation();
        float so = t->scaleOrientation().Get();
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, -so);
        frame->AddScale(rm::Combine::Before, s.GetX(), s.GetY(), 1);
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, so);
        frame->AddTranslation(rm::Combine::Before, -c.GetX(), -c.GetY(), 0);
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, t->rotationAngle().Get());
        frame->AddTranslation(rm::Combine::Before, c.GetX(), c.GetY(), 0);
        frame->AddTranslation(rm::Combine::Before, tr.GetX(), tr.GetY(), 0);
    }
    m_frames.push_back(std::move(frame));
    return 2;
}

void CNodeDealer::Exit_Transform2D(SingleNode*, SFWorldNode*) {
    PopFrame();
}

// ---- Lights and viewpoints ----

int CNodeDealer::EnterLight(SFWorldNode* node, bool directional) {
    rm::RetainedMode* rm = RM();
    rm::Frame* parent = CurrentFrame();
    if (rm == nullptr || parent == nullptr) return 1;
    SFColor color;
    float intensity = 1;
    if (directional) {
        auto* l = As<DirectionalLight>(node);
        if (l == nullptr) return 1;
        color = l->color();
        intensity = l->intensity().Get();
    } else {
        auto* l = As<PointLight>(node);
        if (l == nullptr) return 1;
        color = l->color();
        intensity = l->intensity().Get();
    }
    rm::Ptr<rm::Frame> frame;
    rm::Ptr<rm::Light> light;
    if (rm::Failed(rm->CreateFrame(parent, frame.Put()))) return 1;
    if (rm::Failed(
            rm->CreateLightRGB(directional ? rm::LightType::Directional : rm::LightType::Point,
                               color.GetR() * intensity, color.GetG() * intensity,
                               color.GetB() * intensity, light.Put())))
        return 1;
    frame->AddLight(light.Get());
    if (directional) {
        const SFVec3f& d = As<DirectionalLight>(node)->direction();
        glm::vec3 dir(d.GetX(), d.GetY(), d.GetZ());
        // A light shining straight up or down cannot keep (0, 1, 0) as its up.
        glm::vec3 up(0, 1, 0);
        if (glm::length(glm::cross(dir, up)) < 1e-6f * glm::length(dir)) up = {0, 0, 1};
        frame->SetOrientation(parent, dir, up);
    } else {
        const SFVec3f& p = As<PointLight>(node)->location();
        frame->SetPosition(parent, p.GetX(), p.GetY(), p.GetZ());
    }
    return 1;
}

int CNodeDealer::Enter_DirectionalLight(SingleNode*, SFWorldNode* node) {
    return EnterLight(node, true);
}
int CNodeDealer::Enter_PointLight(SingleNode*, SFWorldNode* node) {
    return EnterLight(node, false);
}

int CNodeDealer::Enter_Viewpoint(SingleNode*, SFWorldNode* node) {
    auto* v = As<Viewpoint>(node);
    if (v == nullptr) return 1;
    const SFRotation& o = v->orientation();
    const SFVec3f& p = v->position();
    if (m_display && m_display->GetCamera()) {
        rm::Frame* camera = m_display->GetCamera();
        camera->AddRotation(rm::Combine::Replace, o.GetX(), o.GetY(), o.GetZ(), o.GetAngle());
        camera->AddTranslation(rm::Combine::After, p.GetX(), p.GetY(), p.GetZ());
    }
    ViewpointRecord record;
    record.name = v->description().Get();
    if (record.name.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "Viewpoint %d", g_viewpointCounter++);
        record.name = name;
    }
    record.position = p;
    record.orientation = o;
    m_viewpoints.push_back(std::move(record));
    return 1;
}

// ---- Interpolators ----

int CNodeDealer::EnterInterpolator(SFWorldNode* node, int kind) {
    CInterpolator interpolator;
    interpolator.SetKind(static_cast<std::uint8_t>(kind));
    SingleNode* self = static_cast<SingleNode*>(node);
    if (auto* c = dynamic_cast<ColorInterpolator*>(self)) {
        const auto& keys = c->key().Values();
        const auto& values = c->keyValue().Values();
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            interpolator.AddKey(keys[i].Get(), values[i].GetR(), values[i].GetG(), values[i].GetB(),
                                0);
    } else if (auto* o = dynamic_cast<OrientationInterpolator*>(self)) {
        const auto& keys = o->key().Values();
        const auto& values = o->keyValue().Values();
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            interpolator.AddKey(keys[i].Get(), values[i].GetX(), values[i].GetY(), values[i].GetZ(),
                                values[i].GetAngle());
    } else if (auto* p = dynamic_cast<PositionInterpolator*>(self)) {
        const auto& keys = p->key().Values();
        const auto& values = p->keyValue().Values();
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            interpolator.AddKey(keys[i].Get(), values[i].GetX(), values[i].GetY(), values[i].GetZ(),
                                0);
    } else {
        return 1;
    }
    m_interpolators[self] = std::move(interpolator);
    return 1;
}

int CNodeDealer::Enter_ColorInterpolator(SingleNode*, SFWorldNode* node) {
    return EnterInterpolator(node, ColorInterpolator::kNodeType);
}
int CNodeDealer::Enter_OrientationInterpolator(SingleNode*, SFWorldNode* node) {
    return EnterInterpolator(node, OrientationInterpolator::kNodeType);
}
int CNodeDealer::Enter_PositionInterpolator(SingleNode*, SFWorldNode* node) {
    return EnterInterpolator(node, PositionInterpolator::kNodeType);
}
