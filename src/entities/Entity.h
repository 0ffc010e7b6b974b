#pragma once
// The one entity vocabulary of Tessik and tessik-cad: plain structs in the DXF
// parametrisation, no Qt. Angles are in radians, counter-clockwise; an arc by
// centre, radius and start/end angle; an ellipse by centre, the vector from
// the centre to one end of its major axis, the minor/major ratio and
// start/end *parameters* (a point is centre + major cos t + minor sin t, the
// minor axis being the major one turned a quarter counter-clockwise and
// scaled by the ratio); a polyline by its vertices, each with the bulge of
// the segment that leaves it (tan of a quarter of the segment's included
// angle, positive counter-clockwise).
//
// Each kind has an `EntityTraits` specialisation: its DXF name, the type name
// an automation client sees, the object name and entity-type number of the
// commercial CAD's automation. A kind without traits does not compile, and
// every visitor over a variant of kinds (see EntityGeometry.h) must handle each
// of them, so adding a kind here is a compile error wherever it is not
// handled. A program may hold only the kinds it deals with
// (`std::variant<Line, Arc, ...>`); `Entity` holds them all.

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessik {

using Point3 = std::array<double, 3>;

}  // namespace tessik

namespace tessik::entities {

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct Line {
    Point3 start{};
    Point3 end{};
    friend bool operator==(const Line&, const Line&) = default;
};

struct Arc {
    Point3 center{};
    double radius = 1;
    double startAngle = 0;
    double endAngle = kTwoPi;
    friend bool operator==(const Arc&, const Arc&) = default;
};

struct Circle {
    Point3 center{};
    double radius = 1;
    friend bool operator==(const Circle&, const Circle&) = default;
};

struct Ellipse {
    Point3 center{};
    Point3 majorAxis{1, 0, 0};
    double ratio = 1;
    double startParam = 0;
    double endParam = kTwoPi;
    friend bool operator==(const Ellipse&, const Ellipse&) = default;
};

struct Point {
    Point3 position{};
    friend bool operator==(const Point&, const Point&) = default;
};

struct PolylineVertex {
    double x = 0;
    double y = 0;
    double bulge = 0;  // of the segment to the next vertex
    friend bool operator==(const PolylineVertex&, const PolylineVertex&) = default;
};

struct Polyline {
    std::vector<PolylineVertex> vertices;
    bool closed = false;  // a last segment runs from the last vertex back to the first
    double elevation = 0;
    friend bool operator==(const Polyline&, const Polyline&) = default;
};

// A text's justification, DXF groups 72 and 73 (their values).
enum class TextHorizontal { Left = 0, Center = 1, Right = 2, Aligned = 3, Middle = 4, Fit = 5 };
enum class TextVertical { Baseline = 0, Bottom = 1, Middle = 2, Top = 3 };

// Left on the baseline, the text starts at insertion. Justified otherwise,
// it is placed by its alignment point (insertion is where its baseline
// started when it was last laid out); Aligned and Fit run the baseline from
// insertion to alignment instead (see placeText).
struct Text {
    std::string text;  // UTF-8
    Point3 insertion{};
    double height = 1;
    double rotation = 0;
    TextHorizontal horizontal = TextHorizontal::Left;
    TextVertical vertical = TextVertical::Baseline;
    Point3 alignment{};
    bool justified() const { return horizontal != TextHorizontal::Left || vertical != TextVertical::Baseline; }
    friend bool operator==(const Text&, const Text&) = default;
};

using Entity = std::variant<Line, Arc, Circle, Ellipse, Point, Polyline, Text>;

// Declared, never defined: a kind without its specialisation fails to compile.
template <class Kind>
struct EntityTraits;

#define TESSIK_ENTITY_TRAITS(Kind, dxf, automation, object, number) \
    template <>                                                     \
    struct EntityTraits<Kind> {                                     \
        static constexpr std::string_view dxfName = dxf;            \
        static constexpr std::string_view automationName = automation; \
        static constexpr std::string_view objectName = object;      \
        static constexpr int typeNumber = number;                   \
    }

// The type numbers are those of the commercial CAD's entity-name enumeration.
TESSIK_ENTITY_TRAITS(Line, "LINE", "Line", "AcDbLine", 19);
TESSIK_ENTITY_TRAITS(Arc, "ARC", "Arc", "AcDbArc", 4);
TESSIK_ENTITY_TRAITS(Circle, "CIRCLE", "Circle", "AcDbCircle", 8);
TESSIK_ENTITY_TRAITS(Ellipse, "ELLIPSE", "Ellipse", "AcDbEllipse", 16);
TESSIK_ENTITY_TRAITS(Point, "POINT", "Point", "AcDbPoint", 22);
TESSIK_ENTITY_TRAITS(Polyline, "LWPOLYLINE", "Polyline", "AcDbPolyline", 24);
TESSIK_ENTITY_TRAITS(Text, "TEXT", "Text", "AcDbText", 32);

#undef TESSIK_ENTITY_TRAITS

// The traits of whatever kind a variant holds.
template <class... Kinds>
std::string_view dxfName(const std::variant<Kinds...>& e)
{
    return std::visit([](const auto& k) { return EntityTraits<std::decay_t<decltype(k)>>::dxfName; }, e);
}
template <class... Kinds>
std::string_view automationName(const std::variant<Kinds...>& e)
{
    return std::visit([](const auto& k) { return EntityTraits<std::decay_t<decltype(k)>>::automationName; }, e);
}
template <class... Kinds>
std::string_view objectName(const std::variant<Kinds...>& e)
{
    return std::visit([](const auto& k) { return EntityTraits<std::decay_t<decltype(k)>>::objectName; }, e);
}
template <class... Kinds>
int typeNumber(const std::variant<Kinds...>& e)
{
    return std::visit([](const auto& k) { return EntityTraits<std::decay_t<decltype(k)>>::typeNumber; }, e);
}

// Is name the DXF name of one of the kinds a variant holds?
template <class Variant>
struct KindsOf;
template <class... Kinds>
struct KindsOf<std::variant<Kinds...>> {
    static constexpr bool hasDxfName(std::string_view name)
    {
        return ((name == EntityTraits<Kinds>::dxfName) || ...);
    }
};

// For std::visit with one lambda per kind.
template <class... Fs>
struct Overload : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overload(Fs...) -> Overload<Fs...>;

}  // namespace tessik::entities
