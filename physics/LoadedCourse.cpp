#include "physics/LoadedCourse.h"

LoadedCourse::LoadedCourse()
    : storage_(std::make_unique<TriangleStorage>()),
      boxes_(std::make_unique<std::vector<CollisionBox>>()) {}

LoadedCourse::LoadedCourse(LoadedCourse&&) noexcept = default;
LoadedCourse& LoadedCourse::operator=(LoadedCourse&&) noexcept = default;
LoadedCourse::~LoadedCourse() = default;

bool LoadedCourse::read(const std::string& fileName, std::ostream& console,
                        const CourseReadOptions& options) {
    CourseReadOptions reading = options;
    reading.storage = storage_.get();
    if (!CourseReader::instance()->parse(fileName, triangles_, *boxes_, console, reading)) {
        return false;
    }
    buildIndex(options.threads);
    return true;
}

void LoadedCourse::startBox(float red, float green, float blue, float alpha) {
    if (!boxes_->empty()) {
        boxes_->back().compact(); // complete: its lookup of held triangles is done with
    }
    boxes_->emplace_back().setColour(red, green, blue, alpha);
}

void LoadedCourse::addTriangle(const Vector3& v0, const Vector3& v1, const Vector3& v2) {
    const TriangleSlot slot = storage_->add(v0, v1, v2);
    slot.buildFrames();
    Triangle* const triangle = &slot.stored->triangle;
    triangles_.push_back(triangle);
    boxes_->back().addTriangle(triangle);
}

void LoadedCourse::buildIndex(unsigned threads) {
    if (!boxes_->empty()) {
        boxes_->back().compact();
    }
    index_ = std::make_unique<ContactIndex>(*boxes_, threads);
}

Bounds LoadedCourse::bounds() const {
    Bounds course;
    for (const CollisionBox& box : *boxes_) {
        if (box.triangleCount() > 0) {
            course.grow(box.bounds());
        }
    }
    return course;
}
