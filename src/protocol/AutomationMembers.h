#pragma once
// The member names of tessik-cad's automation objects, as docs/automation.md
// spells them. tessik-cad finds a member whatever the case of its name (as
// late binding does), keyed by memberKey(); the tool's client sends the names
// as spelled here. A member renamed or dropped here stops both sides from
// compiling until each is mended.

#include <QString>

namespace tessik::protocol {

// The key a member is found by: its name in lower case.
inline QString memberKey(const char* name) { return QString::fromLatin1(name).toLower(); }

namespace member {

// The application.
inline constexpr char kVisible[] = "Visible";
inline constexpr char kCaption[] = "Caption";
inline constexpr char kName[] = "Name";
inline constexpr char kDocuments[] = "Documents";
inline constexpr char kActiveDocument[] = "ActiveDocument";
inline constexpr char kZoomExtents[] = "ZoomExtents";
// Asked for by the client to bring the window to the front; tessik-cad has
// none and the client falls back to kVisible.
inline constexpr char kActivate[] = "Activate";

// The documents collection.
inline constexpr char kAdd[] = "Add";
inline constexpr char kOpen[] = "Open";

// A document (kName as well).
inline constexpr char kFullName[] = "FullName";
inline constexpr char kSaved[] = "Saved";
inline constexpr char kModelSpace[] = "ModelSpace";
inline constexpr char kPaperSpace[] = "PaperSpace";
inline constexpr char kUtility[] = "Utility";
inline constexpr char kSaveAs[] = "SaveAs";
inline constexpr char kSave[] = "Save";
inline constexpr char kClose[] = "Close";
inline constexpr char kSendCommand[] = "SendCommand";
inline constexpr char kStartUndoMark[] = "StartUndoMark";
inline constexpr char kEndUndoMark[] = "EndUndoMark";
inline constexpr char kLayers[] = "Layers";
inline constexpr char kLayouts[] = "Layouts";

// A layout (kName as well), and a layout's block (kName, kCount, kItem).
inline constexpr char kTabOrder[] = "TabOrder";
inline constexpr char kBlock[] = "Block";

// Model and paper space, and the documents collection.
inline constexpr char kCount[] = "Count";
inline constexpr char kItem[] = "Item";
inline constexpr char kAddLine[] = "AddLine";
inline constexpr char kAddLightWeightPolyline[] = "AddLightWeightPolyline";
inline constexpr char kAddText[] = "AddText";
inline constexpr char kAddCircle[] = "AddCircle";
inline constexpr char kAddArc[] = "AddArc";
inline constexpr char kAddEllipse[] = "AddEllipse";

// The utility object.
inline constexpr char kGetPoint[] = "GetPoint";

// Every entity.
inline constexpr char kEntityType[] = "EntityType";
inline constexpr char kObjectName[] = "ObjectName";
inline constexpr char kDelete[] = "Delete";
inline constexpr char kMove[] = "Move";
inline constexpr char kHandle[] = "Handle";
inline constexpr char kTrueColor[] = "TrueColor";
inline constexpr char kLinetype[] = "Linetype";
inline constexpr char kLineweight[] = "Lineweight";
// Lines, arcs, circles and ellipses.
inline constexpr char kStartPoint[] = "StartPoint";
inline constexpr char kEndPoint[] = "EndPoint";
inline constexpr char kCenter[] = "Center";
inline constexpr char kRadius[] = "Radius";
inline constexpr char kStartAngle[] = "StartAngle";
inline constexpr char kEndAngle[] = "EndAngle";
inline constexpr char kMajorAxis[] = "MajorAxis";
inline constexpr char kMinorAxis[] = "MinorAxis";
inline constexpr char kRadiusRatio[] = "RadiusRatio";
inline constexpr char kStartParameter[] = "StartParameter";
inline constexpr char kEndParameter[] = "EndParameter";
// Polylines and texts.
inline constexpr char kClosed[] = "Closed";
inline constexpr char kCoordinates[] = "Coordinates";
inline constexpr char kTextString[] = "TextString";
inline constexpr char kInsertionPoint[] = "InsertionPoint";
inline constexpr char kHeight[] = "Height";
inline constexpr char kRotation[] = "Rotation";
// What entities read from a file answer, by kind: multi-line texts,
// block references, hatches, splines, dimensions and raster images.
inline constexpr char kWidth[] = "Width";
inline constexpr char kAttachmentPoint[] = "AttachmentPoint";
inline constexpr char kXScaleFactor[] = "XScaleFactor";
inline constexpr char kYScaleFactor[] = "YScaleFactor";
inline constexpr char kZScaleFactor[] = "ZScaleFactor";
inline constexpr char kHasAttributes[] = "HasAttributes";
inline constexpr char kPatternName[] = "PatternName";
inline constexpr char kPatternType[] = "PatternType";
inline constexpr char kPatternScale[] = "PatternScale";
inline constexpr char kPatternAngle[] = "PatternAngle";
inline constexpr char kNumberOfLoops[] = "NumberOfLoops";
inline constexpr char kDegree[] = "Degree";
inline constexpr char kNumberOfControlPoints[] = "NumberOfControlPoints";
inline constexpr char kControlPoints[] = "ControlPoints";
inline constexpr char kNumberOfFitPoints[] = "NumberOfFitPoints";
inline constexpr char kFitPoints[] = "FitPoints";
inline constexpr char kMeasurement[] = "Measurement";
inline constexpr char kTextOverride[] = "TextOverride";
inline constexpr char kTextPosition[] = "TextPosition";
inline constexpr char kOrigin[] = "Origin";
// Every entity's layer; a layer's colour (a colour index).
inline constexpr char kLayer[] = "Layer";
inline constexpr char kColor[] = "Color";

}  // namespace member
}  // namespace tessik::protocol
