#include "geometry/Vector3.h"

#include <ostream>

std::ostream& operator<<(std::ostream& out, const Vector3& a) {
    return out << a.x << ", " << a.y << ", " << a.z;
}
