#include "JoltPeer.h"

#include "PeerCourseText.h"

#include <Jolt/Jolt.h>

#include <Jolt/Core/Factory.h>
#include <Jolt/Physics/Collision/CastResult.h>
#include <Jolt/Physics/Collision/CollisionCollectorImpl.h>
#include <Jolt/Physics/Collision/CollisionDispatch.h>
#include <Jolt/Physics/Collision/Shape/MeshShape.h>
#include <Jolt/Physics/Collision/Shape/SphereShape.h>
#include <Jolt/Physics/Collision/ShapeCast.h>
#include <Jolt/RegisterTypes.h>

#include <mutex>

namespace {

// Jolt's allocator, type factory and collision dispatch table, once per process.
void startJolt() {
    static std::once_flag started;
    std::call_once(started, [] {
        JPH::RegisterDefaultAllocator();
        JPH::Factory::sInstance = new JPH::Factory();
        JPH::RegisterTypes();
    });
}

} // namespace

struct JoltCourse::Shapes {
    JPH::RefConst<JPH::Shape> mesh;
    JPH::RefConst<JPH::Shape> sphere;
};

JoltCourse::JoltCourse() : shapes_(std::make_unique<Shapes>()) {
    startJolt();
    shapes_->sphere = new JPH::SphereShape(radius);
}

JoltCourse::~JoltCourse() = default;

bool JoltCourse::load(const std::string& fileName) {
    JPH::TriangleList triangles;
    const bool read = forEachPeerTriangle(fileName, [&triangles](const float(&v)[9]) {
        triangles.push_back(JPH::Triangle(JPH::Float3(v[0], v[1], v[2]),
                                          JPH::Float3(v[3], v[4], v[5]),
                                          JPH::Float3(v[6], v[7], v[8])));
    });
    if (!read) {
        return false;
    }
    // Jolt's defaults: degenerate and duplicate triangles removed, active edges found, at most
    // 8 triangles a leaf, the tree built for query speed.
    JPH::MeshShapeSettings settings(triangles);
    JPH::Shape::ShapeResult built = settings.Create();
    if (built.HasError()) {
        return false;
    }
    shapes_->mesh = built.Get();
    return true;
}

bool JoltCourse::sweep(const float (&from)[3], const float (&to)[3], float& fraction,
                       float (&normal)[3]) const {
    const JPH::Vec3 start(from[0], from[1], from[2]);
    const JPH::Vec3 move = JPH::Vec3(to[0], to[1], to[2]) - start;
    const JPH::ShapeCast cast(shapes_->sphere, JPH::Vec3::sOne(), JPH::Mat44::sTranslation(start),
                              move);
    JPH::ShapeCastSettings settings;
    settings.SetBackFaceMode(JPH::EBackFaceMode::IgnoreBackFaces);
    JPH::ClosestHitCollisionCollector<JPH::CastShapeCollector> closest;
    JPH::CollisionDispatch::sCastShapeVsShapeWorldSpace(
        cast, settings, shapes_->mesh, JPH::Vec3::sOne(), JPH::ShapeFilter(),
        JPH::Mat44::sIdentity(), JPH::SubShapeIDCreator(), JPH::SubShapeIDCreator(), closest);
    if (!closest.HadHit()) {
        return false;
    }
    fraction = closest.mHit.mFraction;
    // The penetration axis points from the sphere into the mesh.
    const JPH::Vec3 outward = -closest.mHit.mPenetrationAxis.NormalizedOr(JPH::Vec3::sZero());
    normal[0] = outward.GetX();
    normal[1] = outward.GetY();
    normal[2] = outward.GetZ();
    return true;
}
