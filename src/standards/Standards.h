#pragma once
// Standard data: what the tool knows about standard elbows, without widgets.
//
// Three plain-text files feed it, all read through one FieldReader (the
// comma / line-end field syntax, any bytes, never blocking): the outer
// diameters zjxl.ini and wall thicknesses gbhd.ini become drop-down lists
// once at start-up (ListFile), and book.ini becomes the BookTable afresh at
// every lookup. standardLookup picks the table column by the diameter's range
// and the row by the bend angle and proposes the bend radius and middle
// segment count as field texts; CalculateWeight turns the design parameters,
// wall and density into the weight field's text. The main window and
// tessik-elbow both call these, each showing messages its own way.

#include "BookTable.h"
#include "FieldReader.h"
#include "FieldText.h"
#include "ListFile.h"
#include "StandardLookup.h"
#include "Weight.h"
