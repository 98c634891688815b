// The one description of scaling, rotation and free transformation that layers, text objects
// and the brush and anim display share, the layer options read beside it from an option table,
// and the matrix builder.
#pragma once
#include <cstdint>

struct lua_State;

// The 2x2 matrix in use is stored by columns: (x, y) maps to (a x + c y, b x + d y).
struct TransformRecord {
    double a, b, c, d;
    double scaleX, scaleY;          // 1.0 when unscaled
    int32_t width, height;          // requested target size; 0 = from the scale factors or source
    int32_t rotate;                 // whole degrees, -359..359
    double explicitMatrix[4];       // the "transform" option's a, b, c, d
    int32_t explicitFlag;           // 1 while the explicit matrix is in use
    int32_t smoothScale;            // interpolate when scaling or transforming
    double anchorX, anchorY;        // anchor as fractions 0.0 .. 1.0 of width and height
};

// Options the layer functions take when they add a layer.
struct LayerOptions {
    char name[256];
    int32_t hidden;
    int32_t insertPos;
    int32_t transparency;           // 0..255
    int32_t tint;                   // 0..255
    uint32_t tintColor;             // 0xRRGGBB
    int32_t fullRedraw;             // the layer can't be drawn by one blit on top
    char group[64];                 // group name, shared by the layers of one group
};

// Flags of PrepareTransformedImage.
enum {
    PTI_INIT = 1,            // initialise the record first
    PTI_NEEDTABLE = 2,       // a non-table argument is an error (1140)
    PTI_NOSIZE = 4,          // ignore "width" and "height"
    PTI_NOROTATE = 8,        // ignore "rotate"
    PTI_SMOOTHONROTATE = 16  // "smoothscale" defaults to the smooth default only with a rotation
};

// Clears the record: identity matrix, scales 1.0.
void InitTransform(TransformRecord *t);
// True for a = d = 1, b = c = 0.
int IsIdentityTransform(const TransformRecord *t);
// True for a matrix that only scales, by positive factors (b = c = 0, a > 0, d > 0): it neither
// turns nor mirrors.
int IsPositiveScale(const TransformRecord *t);
// The matrix of a scale from the source size to the target size (per side; a target side of 0
// or equal to the source uses the scale factor) followed by a rotation by `angle` degrees,
// counter-clockwise on the screen for positive angles. m holds a, b, c, d.
void MakeTransformMatrix(double m[4], int32_t targetWidth, int32_t targetHeight, int32_t srcWidth,
                         int32_t srcHeight, double scaleX, double scaleY, int32_t angle);
// Refreshes the matrix in use from the explicit matrix or from the size, scales and rotation.
void GetObjectMatrix(TransformRecord *t, int32_t srcWidth, int32_t srcHeight);
// 0 for a matrix with finite entries and a non-zero determinant, else 1055.
int CheckTransformMatrix(const double m[4]);
// Reads the transform and layer options of the option table at `index` (only when it is the
// last argument). 0 or an error code (1055, 1140, 1369, 1370, 1373 ...).
int PrepareTransformedImage(lua_State *L, int index, int32_t srcWidth, int32_t srcHeight, int32_t targetWidth,
                            int32_t targetHeight, int smoothDefault, TransformRecord *t, LayerOptions *lo,
                            int flags);
// The size of a width x height image under the record's matrix.
void TransformRecordSize(const TransformRecord *t, int32_t width, int32_t height, int32_t *outWidth,
                         int32_t *outHeight);

// Field `key` of the table at t as a switch: a boolean, or a number that is non-zero. Returns 1
// with *out set when the field is present, else 0.
int GetFieldSwitch(lua_State *L, int t, const char *key, int *out);
