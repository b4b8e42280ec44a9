// Printing a paged file's statistics to standard output.
#include <cstdio>

#include "dof/dof_int.h"

namespace {

void Rule(char c, int width) {
    for (int i = 0; i < width; ++i)
        std::putchar(c);
    std::putchar('\n');
}

} // namespace

extern "C" int32_t dof_DbgDumpStats(DOF_FILE* file) {
    if (file == nullptr) return 0;
    std::printf("\n\nStatistics for file %s:\n", file->name);
    Rule('=', 64);
    std::fputs("Page Buffer Stats:\n", stdout);
    std::fputs("  buffer  buffer    read   write   total    phsy    phsy   total\n", stdout);
    std::fputs("   count    size   rqsts   rqsts   rqsts   reads  writes     r/w\n", stdout);
    Rule('-', 64);
    const long reads = static_cast<long>(file->read_requests);
    const long writes = static_cast<long>(file->write_requests);
    const long physical_reads = static_cast<long>(file->physical_reads);
    const long physical_writes = static_cast<long>(file->physical_writes);
    std::printf("%8d%8ld%8ld%8ld%8ld%8ld%8ld%8ld\n", file->buffer_count,
                static_cast<long>(file->page_size), reads, writes, reads + writes, physical_reads,
                physical_writes, physical_reads + physical_writes);

    Rule('=', 64);
    std::fputs("    page    page     hit    file\n", stdout);
    std::fputs("   rqsts    hits   ratio    size\n", stdout);
    Rule('-', 64);
    const double ratio = file->page_requests == 0
                             ? 0.0
                             : static_cast<double>(file->page_hits) /
                                   static_cast<double>(file->page_requests) * 100.0;
    std::printf("%8ld%8ld  %6.2f%8ld\n", static_cast<long>(file->page_requests),
                static_cast<long>(file->page_hits), ratio,
                static_cast<long>(file->pages * file->page_size));

    if (file->free_lists != 0) {
        const DOF_FREELIST* list = file->free_list;
        Rule('=', 64);
        std::fputs("Free List Stats:\n", stdout);
        std::fputs("   alloc    free     avg  free\n", stdout);
        std::fputs("   rqsts   rqsts    size  blocks\n", stdout);
        Rule('-', 79);
        Rule('-', 79);
        const float average =
            list->alloc_requests == 0
                ? 0.0f
                : list->total_requested / static_cast<float>(list->alloc_requests);
        std::printf("Totals: %8ld%8ld  %6.1f  %8d\n", static_cast<long>(list->alloc_requests),
                    static_cast<long>(list->free_requests), static_cast<double>(average),
                    list->free_slots);
    }
    return 0;
}
