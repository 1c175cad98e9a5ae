#pragma once

class COpenGLControl;

// The zoom that places the control's whole data set in a picture of the
// given aspect (width / height), seen with the control's rotation, pan and
// scale, every corner of the data's box at least margin (a share of the
// half picture) inside the edge. 0 when there is no data set to fit.
float fitZoom(const COpenGLControl& control, float aspect, float margin);
