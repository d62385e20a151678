#include "rendermodule/tree_traverser.h"

#include <functional>

#include "node/nodes.h"
#include "trace/debug_trace.h"

CTreeTraverser::CTreeTraverser() {
    struct Entry {
        int type;
        EnterHandler enter;
        ExitHandler exit;
    };
    using D = CNodeDealer;
    const Entry table[] = {
        {Appearance::kNodeType, &D::Enter_Appearance, nullptr},
        {Background::kNodeType, &D::Enter_Background, &D::Exit_Background},
        {Background2D::kNodeType, &D::Enter_Background2D, nullptr},
        {Bitmap::kNodeType, &D::Enter_Bitmap, nullptr},
        {Box::kNodeType, &D::Enter_Box, nullptr},
        {Circle::kNodeType, &D::Enter_Circle, nullptr},
        {Color::kNodeType, &D::Enter_Color, nullptr},
        {ColorInterpolator::kNodeType, &D::Enter_ColorInterpolator, nullptr},
        {Cone::kNodeType, &D::Enter_Cone, nullptr},
        {Coordinate2D::kNodeType, &D::Enter_Coordinate2D, nullptr},
        {Cylinder::kNodeType, &D::Enter_Cylinder, nullptr},
        {DirectionalLight::kNodeType, &D::Enter_DirectionalLight, nullptr},
        {Expression::kNodeType, &D::Enter_Expression, nullptr},
        {Face::kNodeType, &D::Enter_Face, &D::Exit_Face},
        {FAP::kNodeType, &D::Enter_FAP, nullptr},
        {FDP::kNodeType, &D::Enter_FDP, nullptr},
        {Group::kNodeType, &D::Enter_Group, nullptr},
        {ImageTexture::kNodeType, &D::Enter_ImageTexture, nullptr},
        {IndexedFaceSet::kNodeType, &D::Enter_IndexedFaceSet, nullptr},
        {IndexedFaceSet2D::kNodeType, &D::Enter_IndexedFaceSet2D, nullptr},
        {IndexedLineSet2D::kNodeType, &D::Enter_IndexLineSet2D, nullptr},
        {Layer2D::kNodeType, &D::Enter_Layer2D, nullptr},
        {Material::kNodeType, &D::Enter_Material, nullptr},
        {Material2D::kNodeType, &D::Enter_Material2D, nullptr},
        {MovieTexture::kNodeType, &D::Enter_MovieTexture, nullptr},
        {OrderedGroup::kNodeType, &D::Enter_OrderedGroup, nullptr},
        {OrientationInterpolator::kNodeType, &D::Enter_OrientationInterpolator, nullptr},
        {PointLight::kNodeType, &D::Enter_PointLight, nullptr},
        {PointSet2D::kNodeType, &D::Enter_PointSet2D, nullptr},
        {PositionInterpolator::kNodeType, &D::Enter_PositionInterpolator, nullptr},
        {_Rectangle::kNodeType, &D::Enter_Rectangle, nullptr},
        {Shape::kNodeType, &D::Enter_Shape, &D::Exit_Shape},
        {Sound2D::kNodeType, &D::Enter_Sound2D, nullptr},
        {Sphere::kNodeType, &D::Enter_Sphere, nullptr},
        {SpotLight::kNodeType, &D::Enter_SpotLight, nullptr},
        {TextureTransform::kNodeType, &D::Enter_TextureTransform, nullptr},
        {TimeSensor::kNodeType, &D::Enter_TimeSensor, nullptr},
        {Transform::kNodeType, &D::Enter_Transform, &D::Exit_Transform},
        {Transform2D::kNodeType, &D::Enter_Transform2D, &D::Exit_Transform2D},
        {Viewpoint::kNodeType, &D::Enter_Viewpoint, nullptr},
        {Viseme::kNodeType, &D::Enter_Viseme, nullptr},
    };
    for (const Entry& e : table) {
        m_enter[e.type] = e.enter;
        m_exit[e.type] = e.exit;
    }
}

void CTreeTraverser::TraverseScene(CD3DObj* display, Field* root) {
    m_dealer.Reset(display);
    if (root != nullptr) TraverseNode(nullptr, root);
}

void CTreeTraverser::TraverseNode(SingleNode* parent, Field* field) {
    if (auto* node = dynamic_cast<SFWorldNode*>(field)) {
        SingleNode* single = node;
        auto type = static_cast<std::uint8_t>(GetNodeType(*single));
        int result = 0;
        const EnterHandler enter = m_enter[type];
        if (enter == nullptr) {
            DebugPrintf("Node %u is not implemented,yet\n", static_cast<unsigned>(type));
        } else {
            result = std::invoke(enter, m_dealer, parent, node);
        }
        if (result != 1) {
            // One-byte count and counter: at most 255 fields are visited.
            auto count = static_cast<std::uint8_t>(single->GetDEFCount());
            for (std::uint8_t i = 0; i < count; ++i) TraverseNode(single, single->GetDEFField(i));
        }
        if (const ExitHandler exit = m_exit[type]) std::invoke(exit, m_dealer, parent, node);
    } else if (auto* list = dynamic_cast<MultiNode*>(field)) {
        // One-byte length and counter: a longer list is taken modulo 256.
        auto count = static_cast<std::uint8_t>(list->GetCount());
        for (std::uint8_t i = 0; i < count; ++i) TraverseNode(parent, list->GetNodeAt(i));
    }
}
