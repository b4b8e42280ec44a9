// File type recognition against libmagic.
//
// The benchmark writes one sample file per format it recognises (IGES fixed,
// compressed and binary, DXF text and binary, DWG, STEP, VDAFS, ACIS text
// and binary, a saved model) and one that is nothing, each about 4 KiB as a
// real file's start would be, into a private directory under /tmp. One
// iteration classifies all of them: with mvx_GetFileType, and with
// libmagic's magic_file on a cookie opened once with the default database
// (MAGIC_NONE). Both open and read the files themselves, which sit in the
// page cache. Items are files, so items_per_second is files per second.
#include <benchmark/benchmark.h>
#include <magic.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mvx/mpm.h"
#include "mvx/mvx.h"

namespace {

std::string Pad(std::string text, const std::string& line) {
    while (text.size() < 4096)
        text += line;
    return text;
}

std::string IgesRecord(char section, int sequence) {
    char record[96];
    std::snprintf(record, sizeof record, "%-72s%c%07d\n", "1H,,1H;,4HPART,", section, sequence);
    return record;
}

class Samples {
public:
    Samples() {
        char templ[] = "/tmp/mvx-bench-filetype-XXXXXX";
        dir_ = mkdtemp(templ) != nullptr ? templ : "/tmp";
        std::string iges;
        for (int i = 1; i <= 50; ++i)
            iges += IgesRecord(i < 3 ? 'S' : 'G', i);
        Add("fixed.igs", iges);
        Add("compressed.igs", Pad(std::string(72, ' ') + "C0000001\n", "1H,,1H;,4HPART,\n"));
        Add("binary.igb", Pad(std::string(72, ' ') + "B\n", std::string("\x01\x02\x03\x04", 4)));
        Add("text.dxf", Pad("  0\nSECTION\n  2\nHEADER\n", "  9\n$ACADVER\n  1\nAC1015\n"));
        Add("binary.dxf", Pad(std::string("AutoCAD Binary DXF\r\n\x1a\0", 22), std::string("\0\x02\x10", 3)));
        Add("drawing.dwg", Pad(std::string("AC1015\0\0\0\0\0\x01", 12), std::string("\x8f\x01\0", 3)));
        Add("part.stp", Pad("ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('part'),'2;1');\n"
                            "FILE_NAME('part.stp','2024-01-01',(''),(''),'','','');\n"
                            "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\n"
                            "ENDSEC;\nDATA;\n",
                            "#10=CARTESIAN_POINT('',(0.,0.,0.));\n"));
        Add("surface.vda", Pad("HEADER   = HEADER / 20                                                  00000001\n",
                               "SURF1    = SURF / 1, 1, 3, 3, 0., 1., 0., 1.                            00000002\n"));
        Add("part.sat", Pad("700 0 1 0\n@7 unknown 14 ACIS 7.0 NT 24 Wed Jan 01 00:00:00 2024\n"
                            "1 9.9999999999999995e-07 1e-10\nbody $-1 -1 $-1 $1 $-1 $-1 #\n",
                            "point $-1 -1 $-1 0 0 0 #\n"));
        Add("part.sab", Pad("ACIS BinaryFile", std::string("\x04\x0d\x04\x00", 4)));
        Add("model.mdl", Pad("BEGIN_MODEL 1 iges 5 3\n", "ENTITY 1 110 0\n"));
        Add("notes.txt", Pad("", "nothing to recognise here, just words.\n"));
    }
    ~Samples() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    void Add(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        paths_.push_back(path);
    }
    std::string dir_;
    std::vector<std::string> paths_;
};

const Samples& TheSamples() {
    static const Samples samples;
    return samples;
}

void BM_FileType_GetFileType(benchmark::State& state) {
    mvx_Initialize(0);
    const auto& paths = TheSamples().paths();
    for (auto _ : state) {
        for (const std::string& path : paths) {
            uint32_t type = 0;
            void* info = nullptr;
            mvx_GetFileType(0, path.c_str(), &type, &info);
            benchmark::DoNotOptimize(type);
            if (info != nullptr && type == MVX_FILETYPE_IGES_FIXED)
                std::free(static_cast<MVX_IGES_INFO*>(info)->eol);
            std::free(info);
        }
        mpm_ClearError(0); // the warning for the file that is nothing
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
    mvx_Terminate(0);
}
// Paired with their anchors in the closing table of `make bench`, no goal set:
// anchor: BM_FileType_GetFileType / BM_FileType_LibmagicFile
BENCHMARK(BM_FileType_GetFileType);

// Anchor: libmagic with its default database, loaded once outside the loop.
void BM_FileType_LibmagicFile(benchmark::State& state) {
    magic_t cookie = magic_open(MAGIC_NONE);
    if (cookie == nullptr || magic_load(cookie, nullptr) != 0) {
        state.SkipWithError("libmagic could not load its database");
        if (cookie != nullptr) magic_close(cookie);
        return;
    }
    const auto& paths = TheSamples().paths();
    for (auto _ : state) {
        for (const std::string& path : paths)
            benchmark::DoNotOptimize(magic_file(cookie, path.c_str()));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
    magic_close(cookie);
}
BENCHMARK(BM_FileType_LibmagicFile);

} // namespace
