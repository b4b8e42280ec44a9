/*
 * MTH: geometry mathematics (module 11).
 */
#ifndef MVX_MTH_H
#define MVX_MTH_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/*
 * Messages (status codes).
 *
 * The texts of this module have no leading blank, so their first character
 * is taken as the flag: it is never printed ("No more memory available\n"
 * prints as "o more memory available"), and DEGENERATE_LINE, which begins
 * with '+', is an extended text. NOMEMORY raises the memory exception.
 */
#define MTH_COLINEARPLANEPNTS 0xB0001
#define MTH_NOMEMORY 0xB0002
#define MTH_SAMEPOINT 0xB0003
#define MTH_PARALLELLINES 0xB0004
#define MTH_SINGULAREQS 0xB0005
#define MTH_INVALID_RANGE 0xB0006
#define MTH_INVALID_OPT 0xB0007
#define MTH_MINMAX 0xB0008
#define MTH_SINGULAR_MATRIX 0xB0009
#define MTH_ORIGIN_POINT 0xB000A
#define MTH_SELFINTERSECT_LOOP 0xB000B
#define MTH_ORIGIN_CROSSING 0xB000C
#define MTH_DEGENERATE_LINE 0xB000D
#define MTH_INTERSECTED_LOOPS 0xB000E

/* Quiet statuses: returned, never recorded, and without a message. */
#define MTH_SMALL_DIVISOR 0xBFFFF /* a divisor's magnitude is below 1e-13 */
#define MTH_SHORT_VECTOR 0xBFFFE  /* a vector too short to unitize */

/*
 * Conventions of the whole module.
 *
 * Points and vectors are arrays of doubles; n is their dimension. Point
 * lists are packed row by row (point i at i * n, or at i * stride where a
 * stride is given). Matrices are row-major: element (i, j) of an r x c
 * matrix is at i * c + j. A transformation matrix is 3 x 4 (rotation in
 * columns 0 to 2, translation in column 3); operations that build one write
 * the 4 x 4 form, with last row 0, 0, 0, 1, when bit 0 of their option is
 * set. The zero tolerance is 1e-13 wherever no tolerance is passed.
 *
 * Arrays are the caller's and must hold what their dimension and counts
 * say; a dimension or count below 1 makes an operation touch no element
 * (unless its comment says otherwise). An output may be the same array as
 * an input unless the comment says it must differ. NaN coordinates flow
 * through the arithmetic: every comparison with a tolerance treats a NaN as
 * "not within", so a NaN never counts as zero, equal or coincident.
 * Recorded failures go through mpm__SetError at ERROR (NOMEMORY at FATAL)
 * and the operation returns that status; quiet statuses are only returned.
 */

/* The unit x and z vectors (1, 0, 0) and (0, 0, 1). */
MVX_API extern const double mth__XNormal[3];
MVX_API extern const double mth__ZNormal[3];

/* ---- vectors ---- */

/* out = a + b. Returns 0. */
MVX_API int32_t mth_AddVector(int32_t n, const double* a, const double* b, double* out);
/* out = a - b. Returns 0. */
MVX_API int32_t mth_SubtractVector(int32_t n, const double* a, const double* b, double* out);
/* out = b - a, the vector from point a to point b. Returns 0. */
MVX_API int32_t mth_MakeVector(int32_t n, const double* a, const double* b, double* out);
/* out = s * a. Returns 0. */
MVX_API int32_t mth_MultiplyVector(int32_t n, const double* a, double s, double* out);
/* out = a / s. Returns 0, or MTH_SMALL_DIVISOR with out untouched when
 * abs(s) < 1e-13 or s is NaN. */
MVX_API int32_t mth_DivideVector(int32_t n, const double* a, double s, double* out);
/* The dot product a . b. */
MVX_API double mth_DotVector(int32_t n, const double* a, const double* b);
/* out = a x b (3D). out must differ from a and b. Returns 0. */
MVX_API int32_t mth_CrossVector(const double* a, const double* b, double* out);
/* The Euclidean length of a. */
MVX_API double mth_GetVectorMag(int32_t n, const double* a);
/* out = a / abs(a). When all components but one are then below 1e-13 in
 * magnitude, that one becomes exactly +1 or -1 and the others exactly 0.
 * A vector of length at most 1e-13 (or NaN length) is copied to out
 * unchanged and MTH_SHORT_VECTOR returned; otherwise 0. */
MVX_API int32_t mth_UnitizeVector(int32_t n, const double* a, double* out);
/* The distance between points p and q. */
MVX_API double mth_GetDistance(int32_t n, const double* p, const double* q);
/* The squared distance between points p and q. */
MVX_API double mth_GetSquaredDistance(int32_t n, const double* p, const double* q);
/* a . b / (abs(a) abs(b)) clamped to [-1, 1]; 0 when either length is 0
 * (NaN when a component is NaN). Note the dimension comes last. */
MVX_API double mth_CosineTwoVectors(const double* a, const double* b, int32_t n);
/* 0xFFFFFFFF when every component of a and b differs by at most 1e-13;
 * otherwise the index of the first component that differs more. */
MVX_API uint32_t mth_CompareDouble(int32_t n, const double* a, const double* b);
/* 1 when every component of p and q differs by at most 1e-13, else 0. */
MVX_API int32_t mth_CheckCoinPoint(int32_t n, const double* p, const double* q);
/* 1 when the distance between p and q is at most tolerance, else 0. */
MVX_API int32_t mth_CheckCoinPointsTol(uint32_t reserved, double tolerance, int32_t n,
                                       const double* p, const double* q);
/* 1 when abs(p - q) is at most tolerance, else 0. */
MVX_API int32_t mth_CompareLocation(int32_t n, const double* p, const double* q, double tolerance);
/* Relative comparison: with s the larger length, 1 when s is not above
 * tolerance or not above 1e-13, else 1 when abs(a - b) / s <= tolerance;
 * otherwise 0. */
MVX_API int32_t mth_CompareVector(int32_t n, const double* a, const double* b, double tolerance);
/* out = the component-wise mean of count points of dimension n. Returns 0;
 * a count below 1 records MTH_INVALID_RANGE and leaves out alone. */
MVX_API int32_t mth_AveragePoints(uint32_t reserved, int32_t n, int32_t count,
                                  const double* points, double* out);
/* Bounding box of count points into min and max (n doubles each). Option 0
 * starts from an empty box (+HUGE_VAL, -HUGE_VAL, which is also the result
 * for count 0); non-zero widens the box already in min and max. NaN
 * coordinates are passed over. Returns 0. */
MVX_API int32_t mth_FindMinMaxCoord(uint32_t option, int32_t n, int32_t count,
                                    const double* points, double* min, double* max);
/* 1 when the triangle p, q, r (n = 2 or 3) has area at most tolerance;
 * 0 otherwise and for any other n. */
MVX_API int32_t mth_CheckColin(int32_t n, double tolerance, const double* p, const double* q,
                               const double* r);
/* 1 when the directions p - q and q - r are parallel (1 - their cosine at
 * most tolerance; opposite directions are not), or when either has squared
 * length below 1e-13; else 0. */
MVX_API int32_t mth_CheckDirColin(int32_t n, double tolerance, const double* p, const double* q,
                                  const double* r);

/* ---- matrices ---- */

/* Zeroes rows x columns elements of out and sets (i, i) to 1 for i below
 * min(rows, columns). Returns 0. */
MVX_API int32_t mth_GetIdentMatrix(int32_t rows, int32_t columns, double* out);
/* out (r x c) = A (r x k) B (k x c); out must differ from A and B. Returns 0. */
MVX_API int32_t mth_MatrixProduct(uint32_t reserved, int32_t r, int32_t k, int32_t c,
                                  const double* a, const double* b, double* out);
/* General product C = op(A) op(B), op transposing when ta (tb) is non-zero.
 * A has ra x ca elements in rows lda apart, B rb x cb in rows ldb apart, C
 * is written in rows ldc apart; C must differ from A and B. Returns 0;
 * records MTH_INVALID_RANGE when a dimension is negative, the inner
 * dimensions of op(A) and op(B) differ, or a leading dimension is shorter
 * than its rows. mth__MultiplyMatrices is the same operation. */
MVX_API int32_t mth_MultiplyMatrices(uint32_t reserved, const double* a, int32_t lda, int32_t ra,
                                     int32_t ca, int32_t ta, const double* b, int32_t ldb,
                                     int32_t rb, int32_t cb, int32_t tb, double* c, int32_t ldc);
MVX_API int32_t mth__MultiplyMatrices(uint32_t reserved, const double* a, int32_t lda,
                                      int32_t ra, int32_t ca, int32_t ta, const double* b,
                                      int32_t ldb, int32_t rb, int32_t cb, int32_t tb, double* c,
                                      int32_t ldc);
/* out (c x r) = the transpose of A (r x c), through a temporary copy so
 * that out may be A. Returns 0, or records MTH_NOMEMORY (FATAL) when the
 * copy cannot be allocated. */
MVX_API int32_t mth_MatrixTranspose(uint32_t reserved, int32_t r, int32_t c, const double* a,
                                    double* out);
/* out = the inverse of the n x n matrix A by Gauss-Jordan elimination with
 * partial pivoting (pivots at most 1e-13 count as zero); out may be A.
 * Returns 0; records MTH_INVALID_RANGE for n < 1, MTH_SINGULAR_MATRIX
 * (out untouched) when no pivot is found, MTH_NOMEMORY above 8 x 8 when
 * the working copies cannot be allocated. */
MVX_API int32_t mth_MatrixInverse(uint32_t reserved, int32_t n, const double* a, double* out);
/* out (3 x 3) = the rotation by angle (radians) about axis, with sine and
 * cosine snapped to exact 0 and +-1 within 1e-13. A zero axis gives the
 * identity and MTH_SHORT_VECTOR; otherwise 0. */
MVX_API int32_t mth_GetAxisMatrix(const double* axis, double angle, double* out);
/* out = R v (R 3 x 3); with option bit 0x8 out = R^T v. out may be v. Returns 0. */
MVX_API int32_t mth_ApplyRotMatrixVector(uint32_t option, const double* r, const double* v,
                                         double* out);
/* out = M p with M 3 x 4 (rotation then translation); out may be p. Returns 0. */
MVX_API int32_t mth_TransformPoint(uint32_t reserved, const double* p, const double* m,
                                   double* out);
/* out = the rotation part of M (3 x 4) applied to v; out may be v. Returns 0. */
MVX_API int32_t mth_TransformVector(uint32_t reserved, const double* v, const double* m,
                                    double* out);
/* Local-to-global matrix of the frame (x, y, z axes unitized, origin): row i
 * is (x_i, y_i, z_i, origin_i); 3 x 4, or 4 x 4 with option bit 0. Returns
 * 0, or the MTH_SHORT_VECTOR of an axis too short to unitize (out untouched). */
MVX_API int32_t mth_MatrixLocalToGlobalSys(uint32_t option, const double* x, const double* y,
                                           const double* z, const double* origin, double* out);
/* The inverse of the 4 x 4 local-to-global matrix of the same frame, as
 * 3 x 4 or (bit 0) 4 x 4; the axes need not be orthogonal. Returns 0, the
 * MTH_SHORT_VECTOR of a short axis, or the recorded MTH_SINGULAR_MATRIX of
 * dependent axes (out untouched in both cases). */
MVX_API int32_t mth_MatrixGlobalToLocalSys(uint32_t option, const double* x, const double* y,
                                           const double* z, const double* origin, double* out);
/* Transformation rotating by angle about the line through point along
 * axis, 3 x 4 or (bit 0) 4 x 4. Returns 0, or MTH_SHORT_VECTOR for a zero
 * axis (out untouched). */
MVX_API int32_t mth_MatrixRotateAboutAxis(uint32_t option, const double* point,
                                          const double* axis, double angle, double* out);
/* Transformation translating by distance along axis (the point only fixes
 * the frame), same forms and statuses. */
MVX_API int32_t mth_MatrixTranslateAlongAxis(uint32_t option, const double* point,
                                             const double* axis, double distance, double* out);
/* Two unit vectors out1, out2 completing axis to a right-handed frame
 * (out1, out2, axis): out1 lies in the plane of the axis's two largest
 * components, out2 = unit(axis x out1). Returns the status of that last
 * unitizing; an axis without a component above 1e-13 (or NaN) gives
 * (1, 0, 0), (0, 1, 0) and MTH_SHORT_VECTOR. */
MVX_API int32_t mth_FindTwoPerpAxesToAxis(uint32_t reserved, const double* axis, double* out1,
                                          double* out2);
/* out (3 x 3) rows: local x, local y, unit normal; local y = normal x (1,0,0)
 * or, for a normal along x, normal x (0,0,1); local x = y x normal. Returns
 * 0, or MTH_SHORT_VECTOR for a zero normal (out untouched). */
MVX_API int32_t mth_GetRotMatrixFromPlaneNorm(const double* normal, double* out);
/* out (3 x 3) columns: unit(p1 - p0), the in-plane perpendicular, the unit
 * normal of the plane p0, p1, p2. Always writes out; returns 0, or
 * MTH_SHORT_VECTOR when the points are coincident or collinear (the short
 * columns are then the unnormalised vectors, zero for collinear points). */
MVX_API int32_t mth_GetPlanePntMatrix(const double* p0, const double* p1, const double* p2,
                                      double* out);
/* As mth_GetPlanePntMatrix; with a non-zero option, points sharing z give
 * the identity, points sharing y the matrix mapping y to z ((1, 2) negated
 * when p0's y is negative), points sharing x the matrix exchanging x and z
 * ((0, 2) negated when p0's x is negative), all within 1e-13. */
MVX_API int32_t mth_GetPntPlaneMatrix(uint32_t option, const double* p0, const double* p1,
                                      const double* p2, double* out);
/* mth_GetPntPlaneMatrix (option 1) of the first point, the first point
 * distinct from it and the first later point off their line, among count
 * 3D points. Records MTH_COLINEARPLANEPNTS when there is no such triple. */
MVX_API int32_t mth_GetRotMatrixFromPnts(int32_t count, const double* points, double* out);

/* ---- linear systems ---- */

/* Solves (a b; c d) x = (e, f) by elimination, pivots compared against
 * tolerance. Returns 0, or the quiet MTH_SINGULAREQS with out untouched. */
MVX_API int32_t mth_SolveTwoLinearEqs(const double* m, const double* rhs, double tolerance,
                                      double* out);
/* Allocates the band form of the n x n matrix A (rows lda apart): n rows of
 * 2m + 1 doubles, row i holding columns i - m .. i + m (zeros outside the
 * matrix). *m below 1 on entry is first set to the half bandwidth of A (the
 * farthest non-zero or NaN element from the diagonal, an all-zero row
 * counting as reaching the last column; 0 for a diagonal matrix). *out receives the array, which the caller frees. Records
 * MTH_INVALID_RANGE for n < 1 or lda < n, MTH_NOMEMORY (FATAL) when the
 * array cannot be allocated. mth__FullMatrixToBanded is the same. */
MVX_API int32_t mth_FullMatrixToBanded(uint32_t reserved, const double* a, int32_t lda,
                                       int32_t n, int32_t* m, double** out);
MVX_API int32_t mth__FullMatrixToBanded(uint32_t reserved, const double* a, int32_t lda,
                                        int32_t n, int32_t* m, double** out);
/* LU factorisation in place of a band matrix (n unknowns, half bandwidth
 * m) without pivoting: L (unit diagonal) below the diagonal, U on and
 * above. n <= 1 or m = 0 returns 0 at once. Returns the quiet
 * MTH_SINGULAREQS when a pivot has magnitude at most 1e-9 (band then
 * partly factorised); records MTH_INVALID_RANGE for negative n or m.
 * mth__LuDecomposeBanded is the same. */
MVX_API int32_t mth_LuDecomposeBanded(uint32_t reserved, double* band, int32_t n, int32_t m);
MVX_API int32_t mth__LuDecomposeBanded(uint32_t reserved, double* band, int32_t n, int32_t m);
/* Solves with the factors of mth_LuDecomposeBanded: b is overwritten with
 * the forward solution and x receives the result (x must differ from b).
 * Returns 0; records MTH_INVALID_RANGE when m < 1 or n < 0.
 * mth__ForBackSubstitution is the same. */
MVX_API int32_t mth_ForBackSubstitution(uint32_t reserved, const double* band, int32_t n,
                                        int32_t m, double* b, double* x);
MVX_API int32_t mth__ForBackSubstitution(uint32_t reserved, const double* band, int32_t n,
                                         int32_t m, double* b, double* x);

/* ---- sorting and counting ---- */

/* Selection sort of count doubles in place: order 1 ascending, any other
 * value descending. Returns 0. */
MVX_API int32_t mth_SortDouble(int32_t order, int32_t count, double* values);
/* The same for 32-bit integers. */
MVX_API int32_t mth_SortInteger(int32_t order, int32_t count, int32_t* values);
/* Stable bubble sort of rows (length doubles each) by column key, order 1
 * ascending, 2 descending; a non-null companion (one int32_t per row) is
 * permuted with the rows. Records MTH_INVALID_OPT for another order and
 * MTH_INVALID_RANGE for a key outside the row or a negative row count. */
MVX_API int32_t mth_SortDoubleArrayByBubble(int32_t order, int32_t rows, int32_t length,
                                            double* table, int32_t key, int32_t* companion);
/* n! in 32-bit unsigned arithmetic (wrapping); 1 for n below 2. */
MVX_API uint32_t mth_GetFactorial(int32_t n);

/* ---- angles (radians; results in [0, 2 pi) unless said otherwise) ---- */

/* 0 when y and x are both exactly 0; otherwise atan2(y, x), plus 2 pi when
 * negative. */
MVX_API double mth_GetAtan2(double y, double x);
/* Angle of the 2D point about the origin into *angle, *flag = 1; at the
 * origin (both coordinates below 1e-13) or for NaN coordinates *flag = 2
 * and *angle is untouched. Returns 0. */
MVX_API int32_t mth_GetAngle2DPoint(uint32_t reserved, const double* point, double* angle,
                                    int32_t* flag);
/* Sine and cosine of angle; a value within 1e-13 of 0 becomes exactly 0
 * and its partner exactly +1 or -1. Returns 0. */
MVX_API int32_t mth_GetAngleSinCos(double angle, double* sine, double* cosine);
/* Brings *start into [-tolerance, 2 pi + tolerance) and *end into
 * (start - tolerance, start + 2 pi + tolerance] by whole turns; an end
 * within tolerance of start becomes start + 2 pi (a full turn). Infinite or
 * NaN angles are left as they are. Returns 0. */
MVX_API int32_t mth_NormalizeAngles(uint32_t reserved, double* start, double* end,
                                    double tolerance);
/* Reduces *value into the period starting at start: [start, start +
 * period), or (start, start + period] with option bit 0. With bit 0 a value
 * already in (start, start + period], with bit 1 one in [start, start +
 * period), is left alone. Records MTH_INVALID_RANGE (value untouched) for
 * a period below 2.220446049250313e-16 or NaN; otherwise returns 0. */
MVX_API int32_t mth_NormalizeParameterToRange(uint32_t option, double start, double period,
                                              double* value);
/* out = the 2D vector rotated by angle (snapped sine and cosine); out may
 * be vector. Returns 0. */
MVX_API int32_t mth_RotateVector2D(double angle, const double* vector, double* out);
/* out = (x + distance cos angle, y + distance sin angle, z) for the 3D
 * point, with snapped sine and cosine; out may be point. Returns 0. */
MVX_API int32_t mth_OffsetPoint(const double* point, double angle, double distance, double* out);

/* ---- lines and points ---- */

/* Projects the 3D point q on the line through a and b (option bit 2: b is
 * the direction): *foot and its parameter (0 at a, 1 at a + direction). A
 * parameter within 1e-13 of 0 becomes 0 and, with option 0, one within
 * 1e-13 of 1 becomes 1. A zero (or NaN) direction gives foot a, parameter
 * 0 and the quiet MTH_DEGENERATE_LINE; otherwise 0. */
MVX_API int32_t mth_PointToLine(uint32_t option, const double* a, const double* b,
                                const double* q, double* foot, double* parameter);
/* The same in 2D without snapping; a zero direction gives foot a and
 * parameter 0 with status 0. */
MVX_API int32_t mth_PointToLine2D(uint32_t option, const double* a, const double* b,
                                  const double* q, double* foot, double* parameter);
/* Returns the distance from q to the line through a and b (mode 2: b is a
 * direction) in dimension n; *foot (n doubles) and *parameter, in units of
 * the direction (0 at a, 1 at b). A line shorter than 1e-13 gives foot a,
 * parameter 0 and the distance from q to a. */
MVX_API double mth_PointToLineDistProjParm(uint32_t mode, int32_t n, const double* q,
                                           const double* a, const double* b, double* foot,
                                           double* parameter);
/* Foot of q on the 3D line a-b (mth_PointToLine, option 0) and its distance
 * from q. Returns the projection's status. */
MVX_API int32_t mth_Get3DPointLineProj(const double* a, const double* b, const double* q,
                                       double* foot, double* distance);
/* Foot of q on the line through origin along the unit axis, and the radial
 * distance of q from it. Returns 0. */
MVX_API int32_t mth_GetVectorRadPoint(const double* origin, const double* axis, const double* q,
                                      double* radius, double* foot);
/* Intersection of the 2D lines p1 + t1 d1 and p2 + t2 d2. Option bit 2
 * stores the point p2 + t2 d2 (and stops there unless bit 1 is set); the
 * parameters are stored otherwise. Returns 0, or the quiet
 * MTH_PARALLELLINES with nothing written for lines parallel within
 * tolerance and for NaN or infinite results. */
MVX_API int32_t mth_Intersect2DLines(uint32_t option, double tolerance, const double* p1,
                                     const double* d1, const double* p2, const double* d2,
                                     double* t1, double* t2, double* point);
/* Closest approach of the 3D lines p1 + t1 d1 and p2 + t2 d2. Option bit 1
 * stores t1 and t2; bit 2 stores a point, the closest point on the second
 * line with bit 4, else the midpoint of the two closest points. Returns 0,
 * or the quiet MTH_PARALLELLINES with nothing written when a direction's
 * squared length or abs(1 - cos^2) is at most tolerance. */
MVX_API int32_t mth_Intersect3DLines(uint32_t option, double tolerance, const double* p1,
                                     const double* d1, const double* p2, const double* d2,
                                     double* t1, double* t2, double* point);
/* Shortest distance between the 3D lines, with the parameters of the
 * closest points. Parallel lines (as above) store the projection parameter
 * of p1 on the second line as t2, 0 as t1 and the distance from p1 to it,
 * and return the quiet MTH_PARALLELLINES; otherwise 0. The option is unused. */
MVX_API int32_t mth_DistanceBetween3DLines(uint32_t option, double tolerance, const double* p1,
                                           const double* d1, const double* p2, const double* d2,
                                           double* t1, double* t2, double* distance);
/* Least-squares line through count 2D points (stride doubles apart): start
 * and end at the extreme x (or, for steep point sets, y); exactly two
 * points give the points themselves. Option bit 2 turns end into the
 * vector from start. Returns 0, or 1 (nothing written) for fewer than 2
 * points, a stride below 2, two points within tolerance, or points whose
 * spreads are both at most tolerance. */
MVX_API int32_t mth_LeastSquaresLine2D(uint32_t option, const double* points, int32_t count,
                                       int32_t stride, double tolerance, double* start,
                                       double* end);
/* 1 when the count points of dimension n lie on one line: the pair farthest
 * apart (first pair on ties) is more than min_length apart and every other
 * point is within tolerance of its line; the pair's indexes go to *first
 * and *last. Otherwise 0 and nothing written. */
MVX_API int32_t mth_PointsDefineLine(const double* points, int32_t count, int32_t n,
                                     double min_length, double tolerance, int32_t* first,
                                     int32_t* last);
/* 1 when every three consecutive points pass mth_CheckDirColin with
 * tolerance, or count < 3; else 0. The fourth argument is ignored. */
MVX_API int32_t mth_PointsCollinear(const double* points, int32_t count, int32_t n,
                                    int32_t ignored, double tolerance);
/* out = point + distance * unit(axis) (3D). Returns 0, or MTH_SHORT_VECTOR
 * with out untouched for a zero axis. */
MVX_API int32_t mth_OffsetPointAlongAxis(uint32_t reserved, const double* point, double distance,
                                         const double* axis, double* out);
/* Clamps the point's x and y into bounds (min x, max x, min y, max y). Returns 0. */
MVX_API int32_t mth_PointForceInBounds2D(uint32_t reserved, double* point, const double* bounds);
/* Which side of the bounds rectangle the axis-parallel segment (two points,
 * stride 3) lies on: *side 1 minimum x, 2 maximum y, 3 maximum x, 4 minimum
 * y, 0 none (judged at the first point, within tolerance); *direction 1
 * towards larger y (sides 1, 3) or x (sides 2, 4), else 2, 0 with no side;
 * *partial 0 when the segment spans the whole side, else 1. Returns 0. */
MVX_API int32_t mth_PointsOnBounds(const double* segment, const double* bounds, double tolerance,
                                   int32_t* side, int32_t* direction, int32_t* partial);
/* Clips the 2D segment p1-p2 to bounds, moving an endpoint beyond a bound
 * onto it (minimum x, maximum x, minimum y, maximum y in turn) when the
 * other endpoint is inside that bound, the other coordinate interpolated
 * unless the endpoints share it within 1e-13. A segment wholly beyond a
 * bound is left alone. Returns 0. */
MVX_API int32_t mth__2DLineTrimBounds(uint32_t reserved, double* p1, double* p2,
                                      const double* bounds);

/* ---- planes, circles and areas ---- */

/* out = the foot of the 3D point on the plane (a, b, c, d), the points x
 * with (a, b, c) . x = d: point - ((n . point - d) / (n . n)) n; out may be
 * point. Returns 0; a normal whose squared length is below 1e-13 (or NaN)
 * copies the point to out and returns the quiet MTH_SMALL_DIVISOR. */
MVX_API int32_t mth_PointToPlane(uint32_t reserved, const double* point, const double* plane,
                                 double* out);
/* -1 when the 3D points p0, p1, p2 span no plane (the length of
 * (p1 - p0) x (p2 - p0) is zero or at most tolerance); otherwise 1 when q
 * lies within tolerance of their plane, else 0 (also for NaN). */
MVX_API int32_t mth_PointIn3PtPlane(const double* p0, const double* p1, const double* p2,
                                    const double* q, double tolerance);
/* Whether count 3D points (stride 3) lie in one plane. The plane is fixed
 * by three well-spread points in two linear passes: the first point, the
 * point farthest from it, and the point farthest from their line; its
 * unit normal n = (b - a) x (c - a) / length. It passes through the first
 * point, or with option bit 0 through the mean of all points. Every point
 * must lie within tolerance of it. Returns 0 with *planar 1 or 0 and the
 * plane (n, d) in plane[4]; records MTH_COLINEARPLANEPNTS (*planar 0,
 * plane untouched) for fewer than 3 points, or when the third point lies
 * within tolerance of the line of the first two (coincident or collinear
 * points), or the normal is not finite. A point with a NaN coordinate is
 * never in the plane. */
MVX_API int32_t mth_PointsInPlane(uint32_t option, const double* points, int32_t count,
                                  double tolerance, int32_t* planar, double* plane);
/* Whether count points (stride doubles apart; stride 2 holds 2D points
 * taken at z = 0, a larger stride 3D points) lie on one circle. The circle
 * passes through three well-spread points chosen as for mth_PointsInPlane
 * (its centre is their circumcentre, in closed form); every point must lie
 * within tolerance of its plane and of its radius. Returns 0 with
 * *on_circle 1 or 0, centre (3 doubles), *radius and, when normal is not
 * NULL, the unit normal of the circle's plane, pointing so that the points
 * in their order turn counter-clockwise about it (by the sum of their
 * turns about the centre); records
 * MTH_INVALID_RANGE for a stride below 2, MTH_COLINEARPLANEPNTS for fewer
 * than 3 points or collinear or coincident ones (as for mth_PointsInPlane),
 * MTH_SINGULAREQS when the centre is not finite; *on_circle is 0 and the
 * other outputs untouched on failure. */
MVX_API int32_t mth_PointsDefineCircle(const double* points, int32_t count, int32_t stride,
                                       double tolerance, int32_t* on_circle, double* centre,
                                       double* radius, double* normal);
/* The signed area of the 2D polygon of count points (stride doubles
 * apart), positive for counter-clockwise order, by the shoelace formula
 * about the first point. 0 for fewer than 3 points or a stride below 2. */
MVX_API double mth_Get2DArea(int32_t count, int32_t stride, const double* points);
/* The area of a convex 3D polygon of count points (stride 3) as the fan of
 * triangles (p0, p[k - 1], p[k]), each counted positive; 0 for fewer than
 * 3 points. */
MVX_API double mth_GetPolygonArea(int32_t count, const double* points);

/* ---- loops ----
 *
 * A loop is count points stride doubles apart (stride at least 2), the
 * last connected back to the first; only x and y are used. Scan-line
 * crossings classify each vertex as above, on (within 1e-13) or below the
 * line: an edge lying on the line gives both its ends, a vertex where the
 * loop leaves the line gives its x once where the loop crosses and twice
 * where it only touches, and any other edge that crosses gives its
 * interpolated x. Arrays handed out are malloc'ed and the caller's to free;
 * with nothing to hand out they are NULL and their count 0, which is also
 * what every failure leaves. */

/* Inserts the 2D point before index position (0 to *count) of a list of
 * *count 2D points, shifting the rest; the list must have room for one
 * more. Returns 0 with *count raised; the quiet MTH_SAMEPOINT (list
 * unchanged) when the point equals the one at position within 1e-13 in
 * both coordinates; records MTH_INVALID_RANGE for a position outside 0 to
 * *count, a negative count, or a count that cannot grow. */
MVX_API int32_t mth_InsertPoint2D(const double* point, int32_t position, int32_t* count,
                                  double* list);
/* The x positions where the line y = constant crosses the loop, ascending
 * (a NaN position last), into *positions (*crossings of them). Returns 0;
 * records MTH_INVALID_RANGE for a stride below 2 and MTH_NOMEMORY (FATAL). */
MVX_API int32_t mth_HorizontalLineLoopIntersect(uint32_t reserved, double y, int32_t stride,
                                                int32_t count, const double* loop,
                                                int32_t* crossings, double** positions);
/* The y positions where the line x = constant crosses the loop: the first
 * two coordinates of every point are exchanged in place, the horizontal
 * scan run, and the coordinates exchanged back on every path (the loop
 * must be writable; it ends as it was). Statuses as above. */
MVX_API int32_t mth_VerticalLineLoopIntersect(uint32_t reserved, double x, int32_t stride,
                                              int32_t count, double* loop, int32_t* crossings,
                                              double** positions);
/* The relation of two loops (same stride) into *result: 2 when their boxes
 * do not overlap, when neither holds the other, and when both boxes agree
 * within 1e-13 (which also prints "Error: mth_LoopInnerOuter sees the same
 * bounding \n" on standard output); 0 with the quiet MTH_INTERSECTED_LOOPS
 * when an edge of one crosses an edge of the other (mth_Intersect2DLines,
 * tolerance 1e-7, both parameters inside (1e-13, 1 - 1e-13)); otherwise
 * the crossings of the scan line through the middle of the common y range,
 * sorted, decide: at the first change of loop after a run of odd length,
 * 1 when that run is loop 1's (loop 2 inside loop 1), -1 when it is loop
 * 2's (loop 1 inside loop 2). An empty loop, or one without a number, is
 * separate. Returns 0, MTH_INTERSECTED_LOOPS, or records MTH_INVALID_RANGE
 * for a stride below 2 and MTH_NOMEMORY; *result is always written. */
MVX_API int32_t mth_LoopInnerOuter(uint32_t reserved, int32_t stride, int32_t count1,
                                   const double* loop1, int32_t count2, const double* loop2,
                                   int32_t* result);
/* Where the 2D point lies against the loop, into *result: 0 on the
 * boundary (within tolerance of an edge, its projection within 1e-13 of
 * the edge's extent; an edge too long to square, or a negative or NaN
 * tolerance, admits nothing), otherwise -1 inside and 1 outside (also for
 * an empty loop and a NaN point) as mth_LoopInnerOuter finds the point as a
 * one-point loop: for a point within the loop's box, inside exactly when
 * the scan line through it crosses the loop an odd number of times left of
 * it. Two linear passes without allocating. Returns 0, or records
 * MTH_INVALID_RANGE for a stride below 2 (and MTH_NOMEMORY in the rare
 * case of a loop whose box is the point); *result is always written. */
MVX_API int32_t mth_PointInLoop(uint32_t reserved, int32_t stride, const double* point,
                                int32_t count, const double* loop, double tolerance,
                                int32_t* result);
/* Whether loop 1 lies inside loop 2 (both count points, stride doubles
 * apart), boundaries touching allowed. -1 when their boxes are apart by
 * more than tolerance. Otherwise, with eps = tolerance times the larger
 * side of the box around both loops (at least 1 times tolerance): 0 when
 * loop 1's box reaches more than eps out of loop 2's, or an edge of loop 1
 * crosses an edge of loop 2 with the ends of each more than eps on either
 * side of the other; then a scan line through the middle of every band
 * between consecutive vertex heights within loop 1 (bands thinner than
 * 4e-13 passed over) must find each span
 * inside loop 1 within a span inside loop 2 (eps allowed at the ends), and
 * a loop 1 without height must have every vertex inside or on loop 2
 * (mth_PointInLoop, tolerance eps): 1 when it holds, else 0. An empty
 * loop, or a coordinate that is not finite, gives 0; a negative or NaN
 * tolerance counts as 0. Time grows with count1 * count2 and with the
 * number of bands times count1 + count2. Records MTH_INVALID_RANGE for a
 * stride below 2 and MTH_NOMEMORY, and returns that status. */
MVX_API int32_t mth_LoopInLoop(const double* loop1, int32_t count1, const double* loop2,
                               int32_t count2, int32_t stride, double tolerance);
/* The intersections of two 2D line strings (same stride; option bit 0
 * closes string 1 into a loop, bit 1 string 2) into *intersections:
 * *found records of 4 doubles (x, y, s1, s2), s the position along each
 * string as segment index plus parameter (0 at the first point; a closed
 * string's end is 0), sorted by s1 then s2. Crossing segments meet where
 * both parameters lie in [0, 1] widened by tolerance over the segment's
 * length (clamped and snapped to the ends); segments that run along each
 * other within tolerance give the two ends of their overlap (one point
 * where they touch); a record within tolerance of the previous one kept,
 * on the same or a neighbouring segment of string 2, is dropped (a shared
 * vertex is reported once). Segments shorter than 1e-13 and points that
 * are not finite are passed over; a negative or NaN tolerance counts as 0.
 * Time grows with the product of the counts. Returns 0, or records
 * MTH_INVALID_RANGE for a stride below 2 and MTH_NOMEMORY. */
MVX_API int32_t mth_GetLineStringInter2D(uint32_t option, int32_t stride, int32_t count1,
                                         const double* string1, int32_t count2,
                                         const double* string2, double tolerance, int32_t* found,
                                         double** intersections);
/* The active ranges of a parameter for count ranges (pairs start, end; a
 * reversed pair is taken the right way round, a pair with a NaN is passed
 * over): where at least one range covers it, or with option bit 0 where an
 * odd number do (the fill of a face with holes from the spans of its
 * loops), found by one sweep over the sorted ends, ranges ending where
 * others start making no gap. Ranges apart by at most tolerance are
 * joined, and then those no longer than tolerance dropped (a negative or
 * NaN tolerance counts as 0). Into *active: *active_count ascending,
 * disjoint pairs. Returns 0, or records MTH_NOMEMORY. */
MVX_API int32_t mth_FindActiveRanges(uint32_t option, int32_t count, const double* ranges,
                                     double tolerance, int32_t* active_count, double** active);
/* The angular ranges swept about the origin by a chain of count 2D points
 * (stride doubles apart) into *ranges (*range_count pairs). A point within
 * tolerance of the origin (or with both coordinates below 1e-13, or not
 * finite) ends a run and is dropped; a step whose segment passes within
 * tolerance of the origin, its foot strictly between the ends, starts a
 * new run at its end; each run gives one range by
 * mth__SweepAnglesContPoints. Returns 0 (count 0 when every point lies at
 * the origin), or records MTH_INVALID_RANGE for a stride below 2 and
 * MTH_NOMEMORY. */
MVX_API int32_t mth_SweepAnglesContPoints(uint32_t reserved, int32_t stride, int32_t count,
                                          const double* points, double tolerance,
                                          int32_t* range_count, double** ranges);
/* The angular range about the origin of one run of count 2D points into
 * range[2]: the turns from point to point (atan2 of cross and dot, in
 * (-pi, pi]; a turn that is not a number is passed over) are summed, and
 * the range covers the span of those partial sums from the first point's
 * angle: start in [0, 2 pi), end = start + width with the width at most
 * 2 pi (a run that turns more stops there). Returns 0; the quiet
 * MTH_ORIGIN_POINT (range untouched) for an empty run or a first point
 * without an angle (mth_GetAngle2DPoint flag 2); records
 * MTH_INVALID_RANGE for a stride below 2. */
MVX_API int32_t mth__SweepAnglesContPoints(uint32_t reserved, int32_t stride, int32_t count,
                                           const double* points, double* range);
/* The angular ranges swept about the origin by a loop of total points made
 * of pieces (piece_counts[i] points each, one after another). *on_loop is
 * 1 when the origin lies on the loop (mth_PointInLoop with tolerance),
 * else 0. Inside the loop, each piece must sweep exactly one range
 * (mth_SweepAnglesContPoints) and the ranges are returned in piece order;
 * a piece that gives another number makes the result empty. On or outside
 * the loop, the chain of all points closed back to the first is swept:
 * one range is returned, two are merged (mth_SweepAnglesMerge, option 1),
 * and none or more give an empty result. Returns 0, or records
 * MTH_INVALID_RANGE for a stride below 2, a negative count, a total of
 * INT32_MAX or piece counts summing past total, and MTH_NOMEMORY. */
MVX_API int32_t mth_SweepAnglesLoop(uint32_t reserved, int32_t stride, int32_t pieces,
                                    const int32_t* piece_counts, int32_t total,
                                    const double* points, double tolerance, int32_t* range_count,
                                    double** ranges, int32_t* on_loop);
/* Merges count angular ranges (pairs) into *merged (*merged_count pairs):
 * sorted by start (stably; a NaN start last), a range starting before the
 * current end + s * 1e-5 extends it (s = +1 with option bit 0, so touching
 * ranges join, else -1, so they must overlap); then the last range, when
 * it ends past 2 pi - 1e-5 and reaches the first start + 2 pi (same rule),
 * absorbs the first. Returns 0, or records MTH_NOMEMORY. */
MVX_API int32_t mth_SweepAnglesMerge(uint32_t option, int32_t count, const double* ranges,
                                     int32_t* merged_count, double** merged);

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t mth_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_MTH_H */
