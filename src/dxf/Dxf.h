#pragma once
// tessik's DXF layer, without Qt.
//
// A file is read in two steps: FileAccess gets its bytes (regular files
// only), DxfTagReader splits them into tags (every number checked, errors
// naming the line), and DxfDrawing indexes the tags without changing them.
// The drawing is changed only by adding entities and by setting values of
// existing ones; everything else goes back to the file as it came. Saving
// is DxfDrawing::toBytes, then replaceFile, which never leaves a half-written
// file behind. The kinds of the shared entity vocabulary are read and written
// through one codec (DxfEntityCodec), which names each kind's group codes
// once; DxfEntityData reads the other kinds a drawing shows.

#include "DxfDrawing.h"
#include "DxfEntityCodec.h"
#include "DxfEntityData.h"
#include "DxfStyle.h"
#include "DxfTag.h"
#include "DxfTagReader.h"
#include "DxfText.h"
#include "FileAccess.h"
