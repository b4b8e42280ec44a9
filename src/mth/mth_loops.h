/* Closed 2D loops: point access with a stride, bounding boxes and the
 * crossing list of a scan line, shared by the loop operations.
 *
 * Scan-line crossings (ScanCrossings) classify every vertex once as above,
 * on (within 1e-13) or below the scan line, so that the edges around a
 * vertex always agree about it:
 * - an edge with both ends on the line contributes both end positions;
 * - an edge leaving the line contributes its start once, or twice when the
 *   last vertex off the line before it lies on the same side as the edge's
 *   end (the loop only touches the line there);
 * - an edge arriving on the line contributes nothing (its end is the start
 *   of the next edge);
 * - an edge from one side to the other contributes its interpolated x.
 * The crossings of a loop therefore come in even number, and the parity of
 * those left of a point tells inside from outside. A NaN y counts as below
 * the line; a NaN position sorts after every number. */
#ifndef MVX_MTH_LOOPS_H
#define MVX_MTH_LOOPS_H

#include <algorithm>
#include <cstdlib>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

namespace mthi {

/* Point i of a list of points stride doubles apart. */
inline const double* At(const double* points, int32_t stride, int64_t i) {
    return points + static_cast<std::ptrdiff_t>(i) * stride;
}

/* Ascending order with NaN after every number (a strict weak order). */
inline bool LessNanLast(double a, double b) {
    return a < b || (!std::isnan(a) && std::isnan(b));
}

/* The 2D bounding box of count points; NaN coordinates are passed over, so
 * a loop without a number has the empty box (+inf, -inf). */
struct Box {
    double min_x = HUGE_VAL, max_x = -HUGE_VAL, min_y = HUGE_VAL, max_y = -HUGE_VAL;
};

/* Widens the box to hold p; a NaN coordinate fails both comparisons. */
inline void Widen(Box& box, const double* p) {
    if (p[0] < box.min_x) box.min_x = p[0];
    if (p[0] > box.max_x) box.max_x = p[0];
    if (p[1] < box.min_y) box.min_y = p[1];
    if (p[1] > box.max_y) box.max_y = p[1];
}

inline Box LoopBox(int32_t stride, int32_t count, const double* loop) {
    Box box;
    for (int32_t i = 0; i < count; ++i) {
        const double* p = At(loop, stride, i);
        Widen(box, p);
    }
    return box;
}

/* One crossing of a scan line: the loop it belongs to and its position. */
struct Crossing {
    int32_t tag;
    double position;
};
static_assert(sizeof(Crossing) == 16, "a crossing record is 16 bytes");

/* The growing crossing list, 50 records at a time; it frees its storage. */
class CrossingList {
public:
    CrossingList() = default;
    CrossingList(const CrossingList&) = delete;
    CrossingList& operator=(const CrossingList&) = delete;
    ~CrossingList() { std::free(items_); }

    /* Appends a record: 0, or the recorded NOMEMORY. */
    int32_t Add(int32_t tag, double position) {
        if (size_ == capacity_) {
            if (capacity_ > INT32_MAX - kGrowth) return Fail(MTH_NOMEMORY);
            const int32_t capacity = capacity_ + kGrowth;
            void* grown =
                mvxc::Realloc(items_, static_cast<std::size_t>(capacity) * sizeof(Crossing));
            if (grown == nullptr) return Fail(MTH_NOMEMORY);
            items_ = static_cast<Crossing*>(grown);
            capacity_ = capacity;
        }
        items_[size_++] = Crossing{tag, position};
        return 0;
    }
    /* Sorts by position (NaN last), then by tag, so that ties are ordered. */
    void Sort() {
        std::sort(items_, items_ + size_, [](const Crossing& a, const Crossing& b) {
            if (LessNanLast(a.position, b.position)) return true;
            if (LessNanLast(b.position, a.position)) return false;
            return a.tag < b.tag;
        });
    }
    int32_t size() const { return size_; }
    const Crossing& operator[](int32_t i) const { return items_[i]; }
    void Clear() { size_ = 0; }

private:
    static constexpr int32_t kGrowth = 50;
    Crossing* items_ = nullptr;
    int32_t size_ = 0, capacity_ = 0;
};

/* Hands each crossing position of the line y = constant with the loop to
 * add(position), which returns 0 to go on or a status that stops the scan
 * and is returned. */
template <typename Add>
int32_t ScanLine(double y, int32_t stride, int32_t count, const double* loop, Add add) {
    if (count < 1) return 0;
    // -1 below (and NaN), 0 on the line, +1 above.
    auto side = [y](const double* p) {
        const double d = p[1] - y;
        return std::fabs(d) <= kZero ? 0 : (d > 0.0 ? 1 : -1);
    };
    // The side of the last vertex off the line before vertex 0, for a loop
    // whose walk starts on the line.
    int last_off = 0;
    for (int32_t i = count - 1; i >= 0 && last_off == 0; --i)
        last_off = side(At(loop, stride, i));
    int sa = side(At(loop, stride, 0));
    for (int32_t i = 0; i < count; ++i) {
        const double* a = At(loop, stride, i);
        const double* b = At(loop, stride, i + 1 < count ? i + 1 : 0);
        const int sb = side(b);
        int32_t status = 0;
        if (sa == 0 && sb == 0) {
            status = add(a[0]);
            if (status == 0) status = add(b[0]);
        } else if (sa == 0) {
            status = add(a[0]);
            if (status == 0 && sb == last_off) status = add(a[0]); // a touching vertex
        } else if (sb != 0 && sb != sa) {
            // The ends lie more than 1e-13 apart in y on either side.
            status = add(a[0] + (y - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
        }
        if (status != 0) return status;
        if (sa != 0) last_off = sa;
        sa = sb;
    }
    return 0;
}

/* Appends the crossings of the line y = constant with the loop, tagged.
 * Returns 0 or the recorded NOMEMORY. */
inline int32_t ScanCrossings(int32_t tag, double y, int32_t stride, int32_t count,
                             const double* loop, CrossingList& list) {
    return ScanLine(y, stride, count, loop, [&](double x) { return list.Add(tag, x); });
}

} // namespace mthi

#endif
