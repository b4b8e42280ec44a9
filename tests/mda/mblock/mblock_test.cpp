// Randomized sequences of every chain operation on one entity body against
// a reference that knows each block's bytes and which pointer slot (in the
// body or inside another block) refers to it: arrays of two to five
// dimensions and elements of 1 to 12 bytes, blocks made loose and attached,
// unlinked and attached again or freed alone, arrays reshaped into another
// slot. Now and then an allocation fails, or a request from the table of
// refused ones is made: either reports its message and changes nothing.
// After every step the library's check, an independent walk of every
// invariant and the reference agree on the whole chain. Beyond the run: the
// chain dump and the chain check, byte for byte, and field dimensions.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <vector>

#include "common/common_alloc.h"
#include "mda/mblock_check.h"
#include "support/fixture.h"

using mbtest::Header;

namespace {

struct FakeBody {
    MDA_ENTITY_HDR header;
    void* slot[32];
};

struct Block {
    int holder = 0;     // 0: the body; else the block holding the pointer
    int64_t offset = 0; // of the pointer in the holder's bytes
    void* data = nullptr;
    bool array = false;
    int32_t ndims = 0, dims[5] = {}, elem_size = 1;
    std::vector<uint8_t> bytes; // plain: the data; array: the elements

    int64_t Elements() const {
        int64_t count = 1;
        for (int32_t i = 0; i < ndims; ++i)
            count *= dims[i];
        return count;
    }
};

struct Reference {
    FakeBody* body;
    std::map<int, Block> blocks;
    int next_id = 1;

    // The bytes of a holder as callers see them (an array's elements).
    char* Base(int id) {
        if (id == 0) return reinterpret_cast<char*>(body);
        const Block& b = blocks[id];
        return b.array ? mbtest::Elements(b.data) : static_cast<char*>(b.data);
    }
    void** Slot(int holder, int64_t offset) {
        return reinterpret_cast<void**>(Base(holder) + offset);
    }
    // Whether a pointer to a block covers byte `at` of the holder.
    bool Covered(int holder, int64_t at) const {
        for (const auto& [id, b] : blocks)
            if (b.holder == holder && b.offset <= at && at < b.offset + 8) return true;
        return false;
    }
    // The free pointer slots, in the body alone or in every block as well.
    std::vector<std::pair<int, int64_t>> FreeSlots(bool body_only = false) const {
        std::vector<std::pair<int, int64_t>> out;
        for (int64_t k = 0; k < 32; ++k)
            if (!Covered(0, 24 + 8 * k)) out.push_back({0, 24 + 8 * k});
        for (const auto& [id, b] : blocks)
            if (!body_only && (!b.array || b.elem_size == 8))
                for (int64_t off = 0; off + 8 <= static_cast<int64_t>(b.bytes.size()); off += 8)
                    if (!Covered(id, off)) out.push_back({id, off});
        return out;
    }
    // What a caller does after it freed or moved a block: null the pointer.
    void ClearSlot(int holder, int64_t offset) {
        *Slot(holder, offset) = nullptr;
        if (holder != 0) std::fill_n(blocks[holder].bytes.begin() + offset, 8, 0);
    }
    // Forgets a block and, in turn, every block whose pointer lay inside it.
    void Remove(int id) {
        std::vector<int> children;
        for (const auto& [child, b] : blocks)
            if (b.holder == id) children.push_back(child);
        for (int child : children)
            Remove(child);
        blocks.erase(id);
    }
    // The pointers held by block `id` move by `map` (-1: the pointer is gone).
    void Remap(int id, const std::function<int64_t(int64_t)>& map) {
        std::vector<int> gone;
        for (auto& [child, b] : blocks)
            if (b.holder == id && (b.offset = map(b.offset)) < 0) gone.push_back(child);
        for (int child : gone)
            Remove(child);
    }

    // Everything the reference knows about the chain; "" when it matches.
    std::string Compare() {
        if (std::string fault = mbtest::ChainFault(body); !fault.empty()) return fault;
        std::map<MDA_MBLOCK*, void**> referrer; // read from the predecessor's header
        for (MDA_MBLOCK* b = Header(body); b->next != nullptr; b = b->next)
            referrer[b->next] = b->referrer;
        if (referrer.size() != blocks.size()) return "the chain has the wrong length";
        for (auto& [id, b] : blocks) {
            const std::string at = "block " + std::to_string(id);
            MDA_MBLOCK* h = Header(b.data, b.array);
            if (referrer.count(h) == 0 || referrer[h] != Slot(b.holder, b.offset))
                return at + " has the wrong referrer";
            for (int32_t i = 0; b.array && i < b.ndims; ++i)
                if (mbtest::Array(b.data)->dims[i] != b.dims[i]) return at + " dimensions";
            int32_t size = -1; // read as the kind the reference says it is
            if (mda_GetArraySize(b.array ? 2 : 1, b.data, &size) != 0 ||
                size != static_cast<int32_t>((b.bytes.size() + 3) & ~size_t{3}))
                return at + " size " + std::to_string(size);
            for (size_t i = 0; i < b.bytes.size(); ++i)
                if (!Covered(id, static_cast<int64_t>(i)) &&
                    static_cast<uint8_t>(Base(id)[i]) != b.bytes[i])
                    return at + " byte " + std::to_string(i) + " differs";
        }
        return "";
    }
};

class MBlockRandom : public mvxtest::LibraryTest {};

TEST_F(MBlockRandom, EveryOperationKeepsTheChainInStepWithAReference) {
    FakeBody *body = nullptr, *second = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
    ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&second)), 0);
    ASSERT_EQ(mda_Malloc(0, second, 8, &second->slot[0]), 0);
    body->header.own = 0x0600000000000011;
    char* loose = nullptr; // a zeroed block of nobody's, attached by no request
    ASSERT_EQ(mda_Malloc(0, nullptr, 200, reinterpret_cast<void**>(&loose)), 0);
    char* check_text = nullptr;
    size_t check_size = 0;
    mda__DbgFile = open_memstream(&check_text, &check_size);

    Reference ref{body, {}};
    std::mt19937 rng(20240611);
    auto pick = [&](const auto& v) { return v[rng() % std::size(v)]; };
    auto any_block = [&](int kind) { // 0 plain, 1 array, 2 any; 0 when there is none
        std::vector<int> ids;
        for (const auto& [id, b] : ref.blocks)
            if (kind == 2 || b.array == (kind == 1)) ids.push_back(id);
        return ids.empty() ? 0 : pick(ids);
    };
    auto random_dims = [&](Block& b) {
        for (int32_t i = 0; i < b.ndims; ++i)
            b.dims[i] = static_cast<int32_t>(rng() % (b.ndims <= 3 ? 4 : 3)) + (i + 1 < b.ndims);
    };

    // Refused requests, made on a random plain block and array of the chain.
    void *plain = nullptr, *array = nullptr, *out = nullptr, *spare = nullptr;
    MDA_MBLOCK* block = nullptr;
    int32_t size = -1;
    const int32_t zero_first[5] = {0, 1, 1, 1, 1}, *ones = zero_first + 1;
    // Runs a call with a damaged header.
    auto with_marker = [](void* data, const std::function<int32_t()>& call) {
        Header(data)->marker = 7;
        const int32_t status = call();
        Header(data)->marker = MDA_MBLOCK_MARKER;
        return status;
    };
    // A loose block whose chain holds the body would make a loop.
    auto attach_holding_body = [&] {
        Header(loose)->next = Header(body);
        const int32_t status = mda_AddMemory(0, body, loose, &spare);
        Header(loose)->next = nullptr;
        return status;
    };
    auto reshape = [&](int32_t elem_add, int32_t ndims, const int32_t* dims) {
        const MDA_ARRAY_HDR* a = mbtest::Array(array);
        return mda__ReallocArray(0, body, array, static_cast<int32_t>(a->elem_size) + elem_add,
                                 ndims > 0 ? ndims : a->ndims, dims, &out);
    };
    struct Refused {
        int32_t code;
        std::function<int32_t()> run;
    };
    const Refused refused[] = {
        // Shapes that cannot be laid out, sizes beyond 32 bits.
        {MDA_ZERO_DIM, [&] { return mda_MallocArray(0, body, 8, &out, 2, 0, 3); }},
        {MDA_ZERO_DIM, [&] { return mda_CallocArray(0, body, 8, &out, 1, 5); }},
        {MDA_MALLOC_ERR, [&] { return mda_MallocArray(0, body, 8, &out, 6, 1, 1); }},
        {MDA_MALLOC_ERR, [&] { return mda_MallocArray(0, body, 8, &out, 2, -1, 3); }},
        {MDA_MALLOC_ERR, [&] { return mda_MallocArray(0, body, -8, &out, 2, 2, 3); }},
        {MDA_MALLOC_ERR, [&] { return mda_MallocArray(0, body, 1, &out, 2, 1, INT32_MAX); }},
        {MDA_MALLOC_ERR, [&] { return mda_MallocArray(0, body, 0, &out, 2, INT32_MAX, 1); }},
        {MDA_MALLOC_ERR, [&] { return mda_Malloc(0, body, -1, &out); }},
        {MDA_MALLOC_ERR, [&] { return mda_Malloc(0, body, 0x7FFFFFFC - 39, &out); }},
        {MDA_MALLOC_ERR, [&] { return mda_Realloc(0, body, plain, -2, &out); }},
        {MDA_ARRAY_MISMATCH, [&] { return reshape(0, mbtest::Array(array)->ndims % 4 + 2, ones); }},
        {MDA_ARRAY_MISMATCH, [&] { return reshape(1, 0, ones); }},
        {MDA_ZERO_DIM, [&] { return reshape(0, 0, zero_first); }},
        // A block of the wrong kind.
        {MDA_BAD_MBLOCK, [&] { return mda_GetArraySize(2, plain, &size); }},
        {MDA_BAD_MBLOCK, [&] { return mda_Free(MDA_FREE_ARRAY, body, plain); }},
        {MDA_BAD_MBLOCK, [&] { return mda_ReallocArray(0, body, plain, 8, &out, 2, 2, 2); }},
        {MDA_BAD_MBLOCK, [&] { return mda_GetArraySize(1, array, &size); }},
        {MDA_BAD_MBLOCK, [&] { return mda_Free(0, body, array); }},
        {MDA_BAD_MBLOCK, [&] { return mda_Realloc(0, body, array, 16, &out); }},
        {MDA_BAD_MBLOCK, [&] { return mda_AddMemory(MDA_ADD_ARRAY, body, loose, &spare); }},
        {MDA_BAD_MBLOCK, [&] { return mda_Free(MDA_FREE_ARRAY, body, loose + 48); }},
        // Blocks that do not belong to nothing, or to this owner; damage.
        {MDA_NOT_IND_MBLOCK, [&] { return mda_AddMemory(0, body, plain, &spare); }},
        {MDA_NOT_IND_MBLOCK, [&] { return mda_AddMemory(0, body, body, &spare); }},
        {MDA_NOT_IND_MBLOCK, [&] { return attach_holding_body(); }},
        {MDA_BAD_MBLOCK,
         [&] { return with_marker(loose, [&] { return mda_AddMemory(0, body, loose, &spare); }); }},
        {MDA_BAD_MBLOCK, [&] { return with_marker(plain, [&] { return mda_FreeAll(0, body); }); }},
        {MDA_BAD_MBLOCK, [&] { return mda_Free(0, nullptr, plain); }},
        {MDA_BAD_MBLOCK, [&] { return mda_Realloc(0, second, plain, 4, &out); }},
        {MDA_NULL_MEMPTR, [&] { return mda_AddMemory(0, body, nullptr, &spare); }},
        {MDA_NULL_MEMPTR, [&] { return mda_AddMemory(0, body, loose, nullptr); }},
        {MDA_NULL_MEMPTR, [&] { return mda_Free(0, body, nullptr); }},
        {MDA_NULL_MEMPTR, [&] { return mda__DbgCheckEntityMBlocks(0, nullptr); }},
        {MDA_NULL_MEMPTR, [&] { return mda__MallocEntity(0, nullptr, MVX_TF(1, 0), &out); }},
        {MDA_NULL_MEMPTR, [&] { return mda_GetFieldDims(nullptr, nullptr, nullptr, nullptr); }},
        // Another entity's block, and the body itself, are not this owner's to free.
        {0, [&] { return mda_Free(0, body, second->slot[0]); }},
        {0, [&] { return mda_Free(0, body, body); }},
    };

    // Arms a failure of the next allocation now and then; `failed` tells
    // whether the operation met it, after checking that it reported it and
    // left the pointer it was to set alone.
    bool inject = false;
    int counts[8] = {}, injected = 0;
    auto arm = [&] { mvxc::SetAllocFailure((inject = rng() % 8 == 0) ? 1 : 0); };
    auto failed = [&](int32_t status, int32_t code, void* const* at, const void* before) {
        mvxc::SetAllocFailure(0);
        if (!inject) return false;
        EXPECT_TRUE(status == code && mpm__ErrorStack->count == 1 && *at == before) << status;
        mpm_ClearStack(0);
        mpm__LastError = 0;
        ++injected;
        return true;
    };

    for (int step = 0; step < 4000; ++step) {
        const bool crowded = ref.blocks.size() > 40;
        int op = ref.blocks.empty() ? static_cast<int>(rng() % 2) * 4 : static_cast<int>(rng() % 8);
        if (crowded && (op == 0 || op == 4)) op = 2;
        ++counts[op];
        if (op == 0 || op == 4) { // a new block, made owned or loose and attached
            const auto [holder, offset] = pick(ref.FreeSlots());
            void** slot = ref.Slot(holder, offset);
            void* const before = *slot; // a free slot may hold any bytes
            void* made = nullptr;
            const uint32_t how = rng() % 3; // 0: loose
            Block b;
            std::tie(b.holder, b.offset) = std::tie(holder, offset);
            arm();
            int32_t rc = 0;
            if (op == 0 && how == 1) {
                const std::string text = std::string(rng() % 12, 'a') + std::to_string(rng() % 999);
                rc = mda_Strdup(0, body, text.c_str(), reinterpret_cast<char**>(slot));
                b.bytes.assign(text.c_str(), text.c_str() + text.size() + 1);
            } else if (op == 0) {
                b.bytes.assign(rng() % 81, 0);
                rc = mda_Malloc(0, how == 0 ? nullptr : body, static_cast<int32_t>(b.bytes.size()),
                                how == 0 ? &made : slot);
            } else {
                b.array = true;
                b.ndims = 2 + static_cast<int32_t>(rng() % 4);
                b.elem_size = std::vector<int32_t>{1, 2, 3, 8, 8, 12}[rng() % 6];
                random_dims(b);
                b.bytes.assign(static_cast<size_t>(b.Elements() * b.elem_size), 0);
                rc = mda__MallocArray(0, how == 0 ? nullptr : body, b.elem_size, b.ndims, b.dims,
                                      how == 0 ? &made : slot);
            }
            if (failed(rc, MDA_MALLOC_ERR, how == 0 ? &made : slot, how == 0 ? nullptr : before))
                continue;
            ASSERT_EQ(rc, 0);
            if (how == 0) {
                ASSERT_EQ(mda_AddMemory(b.array ? MDA_ADD_ARRAY : 0, body, made, slot), 0);
            }
            b.data = *slot;
            ref.blocks[ref.next_id++] = std::move(b);
        } else if (op == 1 && any_block(0) != 0) { // resize a plain block
            const int id = any_block(0);
            Block& b = ref.blocks[id];
            const int64_t to = rng() % 81;
            // A pointer cut by the new end stops being one; its kept bytes stay.
            for (int64_t off = 0; off < static_cast<int64_t>(b.bytes.size()); off += 8)
                if (off + 8 > to && ref.Covered(id, off))
                    std::copy_n(ref.Base(id) + off, 8, b.bytes.begin() + off);
            void** slot = ref.Slot(b.holder, b.offset);
            void* const before = *slot;
            arm();
            const int32_t rc = mda_Realloc(0, body, before, static_cast<int32_t>(to), slot);
            if (failed(rc, MDA_REALLOC_ERR, slot, before)) continue;
            ASSERT_EQ(rc, 0);
            b.bytes.resize(static_cast<size_t>(to), 0);
            b.data = *slot;
            ref.Remap(id, [&](int64_t off) { return off + 8 <= to ? off : -1; });
        } else if (op == 2) { // free a block and what it refers to
            const int id = any_block(2);
            const Block b = ref.blocks[id];
            ASSERT_EQ(mda_Free(b.array ? MDA_FREE_ARRAY : 0, body, b.data), 0);
            ref.Remove(id);
            ref.ClearSlot(b.holder, b.offset);
        } else if (op == 3) { // unlink a block, then attach it elsewhere or free it alone
            const int id = any_block(2);
            Block& b = ref.blocks[id];
            const auto free = ref.FreeSlots(true);
            if (free.empty()) continue;
            const uint32_t kind = b.array ? MDA_FREE_ARRAY : 0;
            ASSERT_EQ(mda_Free(kind | MDA_FREE_UNLINK, body, b.data), 0);
            ASSERT_NE(Header(b.data, b.array)->flags & MDA_MBLOCK_INDEPENDENT, 0);
            ref.ClearSlot(b.holder, b.offset);
            if (rng() % 4 == 0) { // the blocks it took along go with it
                ASSERT_EQ(mda_Free(kind, nullptr, b.data), 0);
                ref.Remove(id);
                continue;
            }
            std::tie(b.holder, b.offset) = pick(free);
            ASSERT_EQ(mda_AddMemory(b.array ? MDA_ADD_ARRAY : 0, body, b.data,
                                    ref.Slot(b.holder, b.offset)),
                      0);
        } else if (op == 5 && any_block(1) != 0) { // reshape an array, now and then elsewhere
            const int id = any_block(1);
            Block& b = ref.blocks[id];
            const Block old = b;
            random_dims(b);
            const bool discard = rng() % 8 == 0;
            // Old flat element index -> new flat index, or -1.
            auto map_element = [&old, &b, discard](int64_t e) -> int64_t {
                int64_t index[5], flat = 0;
                for (int32_t i = old.ndims - 1; i >= 0; --i) {
                    index[i] = e % old.dims[i];
                    e /= old.dims[i];
                }
                for (int32_t i = 0; i < old.ndims; ++i) {
                    if (discard || index[i] >= b.dims[i]) return -1;
                    flat = flat * b.dims[i] + index[i];
                }
                return flat;
            };
            b.bytes.assign(static_cast<size_t>(b.Elements() * b.elem_size), 0);
            for (int64_t e = 0; e < old.Elements(); ++e)
                if (const int64_t to = map_element(e); to >= 0)
                    std::copy_n(old.bytes.begin() + e * b.elem_size, b.elem_size,
                                b.bytes.begin() + to * b.elem_size);
            // The new array is referred to by the out pointer; the caller
            // clears the old one.
            const auto free = ref.FreeSlots(true);
            if (rng() % 4 == 0 && !free.empty()) std::tie(b.holder, b.offset) = pick(free);
            void** slot = ref.Slot(b.holder, b.offset);
            void* const before = *slot;
            arm();
            const int32_t rc = mda__ReallocArray(discard ? MDA_REALLOC_DISCARD : 0, body, old.data,
                                                 b.elem_size, b.ndims, b.dims, slot);
            if (failed(rc, MDA_REALLOC_ERR, slot, before)) {
                b = old;
                continue;
            }
            ASSERT_EQ(rc, 0);
            b.data = *slot;
            if (b.holder != old.holder || b.offset != old.offset)
                ref.ClearSlot(old.holder, old.offset);
            ref.Remap(id, [&](int64_t off) {
                const int64_t to = map_element(off / b.elem_size);
                return to < 0 ? -1 : to * b.elem_size + off % b.elem_size;
            });
        } else if (op == 6) { // scribble on bytes that hold no pointer
            const int id = any_block(2);
            Block& b = ref.blocks[id];
            for (size_t i = 0; i < b.bytes.size(); ++i)
                if (rng() % 3 == 0 && !ref.Covered(id, static_cast<int64_t>(i)))
                    ref.Base(id)[i] = static_cast<char>(b.bytes[i] = static_cast<uint8_t>(rng()));
        } else if (op == 7 && any_block(0) != 0 && any_block(1) != 0) {
            plain = ref.blocks[any_block(0)].data;
            array = ref.blocks[any_block(1)].data;
            const auto& row = pick(refused);
            SCOPED_TRACE("refused request " + std::to_string(&row - refused));
            EXPECT_EQ(row.run(), row.code);
            EXPECT_EQ(mpm__LastError, row.code);
            EXPECT_TRUE(out == nullptr && block == nullptr && spare == nullptr && size == -1);
            EXPECT_EQ(mbtest::ChainFault(second), "");
            EXPECT_EQ(Header(second)->next, Header(second->slot[0]));
            mpm_ClearStack(0);
            mpm__LastError = 0;
        }
        ASSERT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0) << "step " << step;
        std::fflush(mda__DbgFile);
        ASSERT_EQ(check_size, 0u) << "step " << step;
        ASSERT_EQ(ref.Compare(), "") << "step " << step << " op " << op;
        ASSERT_EQ(mpm__LastError, 0) << "step " << step;
    }
    for (int op = 0; op < 8; ++op)
        EXPECT_GT(counts[op], 100) << "operation " << op << " hardly ran";
    EXPECT_GT(injected, 100);
    EXPECT_EQ(mda_FreeAll(0, body), 0);
    EXPECT_EQ(Header(body)->next, nullptr);
    EXPECT_EQ(Header(body)->referrer, nullptr);
    for (void* p :
         {static_cast<void*>(body), static_cast<void*>(second), static_cast<void*>(loose)})
        EXPECT_EQ(mda_Free(0, nullptr, p), 0);
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    std::free(check_text);
}

// Small freed blocks are kept for reuse by exact total size: a block of the
// same size comes back zeroed, a reuse is an allocation the test seam can
// fail, at most 16 blocks of one size are kept, and terminating the library
// returns them (the leak checker of the sanitizer build sees the rest).
TEST_F(MBlockRandom, FreedSmallBlocksAreReusedZeroedAndBounded) {
    FakeBody* body = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
    std::vector<void*> freed;
    for (int i = 0; i < 20; ++i) { // 97 and 99 data bytes make the same total
        ASSERT_EQ(mda_Malloc(0, body, 97 + 2 * (i % 2), &body->slot[i]), 0);
        std::memset(body->slot[i], 0xAB, 97);
    }
    for (int i = 19; i >= 0; --i) {
        freed.push_back(body->slot[i]);
        ASSERT_EQ(mda_Free(0, body, body->slot[i]), 0);
        body->slot[i] = nullptr;
    }
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(mda_Malloc(0, body, 100, &body->slot[0]), MDA_MALLOC_ERR);
    mpm_ClearError(0);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(mda_Malloc(0, body, 100, &body->slot[i]), 0);
        const auto* bytes = static_cast<unsigned char*>(body->slot[i]);
        EXPECT_EQ(std::count(bytes, bytes + 100, 0), 100) << i;
        // The 16 freed first were kept, and come back newest first.
        EXPECT_EQ(i < 16 && body->slot[i] == freed[15 - i], i < 16) << i;
    }
    EXPECT_EQ(mbtest::ChainFault(body), "");
    EXPECT_EQ(mda_Free(0, nullptr, body), 0);
}

class MBlockText : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(mda_Malloc(0, nullptr, 24 + 8 * 4, &body_), 0);
        static_cast<MDA_ENTITY_HDR*>(body_)->own = 0x0600000000000011; // model 3, entity 17
        mda__DbgFile = open_memstream(&text_, &size_);
    }
    void TearDown() override {
        std::fclose(mda__DbgFile);
        mda__DbgFile = stdout;
        std::free(text_);
        EXPECT_EQ(mda_Free(0, nullptr, body_), 0);
        LibraryTest::TearDown();
    }
    // What was written since the last call, addresses as "@".
    std::string Text() {
        std::fflush(mda__DbgFile);
        const std::string all(text_, size_), text = all.substr(read_);
        read_ = all.size();
        return std::regex_replace(text, std::regex("0x(0x[0-9a-f]+|\\(nil\\))"), "@");
    }
    void** Slot(int i) { return static_cast<void**>(body_) + 3 + i; }

    void* body_ = nullptr;
    char* text_ = nullptr;
    size_t size_ = 0, read_ = 0;
};

TEST_F(MBlockText, DumpWritesEveryBlockAndWarnsAboutWrongReferencesAndHeaders) {
    ASSERT_EQ(mda_Malloc(0, body_, 5, Slot(0)), 0);
    ASSERT_EQ(mda_MallocArray(0, body_, 8, Slot(1), 2, 2, 3), 0);
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body_), 0);
    char array_line[256]; // the addresses are the block's and its referrer's
    std::snprintf(array_line, sizeof array_line,
                  "Block 1 @ 0x%p,  type 2,  size 152,  dims [2][3]:"
                  "\n   next block at 0x%p\n   referenced at 0x%p",
                  static_cast<void*>(mbtest::Header(*Slot(1), true)),
                  static_cast<void*>(mbtest::Header(*Slot(0))), static_cast<void*>(Slot(0)));
    std::fflush(mda__DbgFile);
    EXPECT_NE(std::string(text_, size_).find(array_line), std::string::npos);
    EXPECT_EQ(Text(), "Block 0 @ @,  type 1,  size 96:\n   next block at @\n"
                      "   referenced at @ (->@)\n\nBlock 1 @ @,  type 2,  size 152,  dims [2][3]:\n"
                      "   next block at @\n   referenced at @ (->@)\n\n"
                      "Block 2 @ @,  type 1,  size 48:\n   next block at @\n   referenced at @\n\n"
                      "Total size of MBlocks: 296\n\n");
    // A pointer that no longer holds its block, then a damaged header.
    void* const saved = *Slot(0);
    *Slot(0) = Slot(3);
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body_), MDA_DBG_BADMEMREF);
    EXPECT_NE(Text().find("   referenced at @ (->@)  <- Warning: Incorrect reference\n\nBlock 2"),
              std::string::npos);
    *Slot(0) = saved;
    mbtest::Header(*Slot(1), true)->marker = 0x4B4C424D;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body_), MDA_BAD_MBLOCK);
    EXPECT_NE(Text().find("Block 1 @ @,  type 2,  size 152  <- Warning: Bad MBlock header:\n"
                          "   next block at @\n   referenced at @\n\n"
                          "Total size of MBlocks: 96\n\n"),
              std::string::npos);
    mbtest::Header(*Slot(1), true)->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, nullptr), 0);
    EXPECT_EQ(Text(), "");
}

TEST_F(MBlockText, CheckIssuesBadReferencesWithTheEntityAndKeepsTheCallersStack) {
    ASSERT_EQ(mda_Malloc(0, body_, 16, Slot(0)), 0);
    ASSERT_EQ(mda_Malloc(0, body_, 16, Slot(1)), 0);
    mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    void* const saved = *Slot(1);
    *Slot(1) = nullptr;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body_), MDA_DBG_BADMEMREF);
    EXPECT_EQ(Text(), "*** Error (MDA_DBG_BADMEMREF) ***\n"
                      "Invalid memory reference found in entity 0x600000000000011.\n\n");
    EXPECT_EQ(mpm__ErrorStack->count, 1);
    *Slot(1) = saved;
    mbtest::Header(*Slot(0))->marker = 0;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body_), MDA_BAD_MBLOCK);
    EXPECT_EQ(Text().rfind("*** Error (MDA_BAD_MBLOCK) ***\nBad MBlock found at", 0), 0u);
    mbtest::Header(*Slot(0))->marker = MDA_MBLOCK_MARKER;
}

// Dimension expressions over the count slots (a slot beyond the table or
// with none published, and a division by zero, are 0), an fstring's last
// dimension as its length, and unsized arrays sized by their block.
TEST_F(MBlockText, FieldDimensionsEvaluateExpressionsAndSizeUnsizedArrays) {
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, 9);
    slots[1] = 3;
    slots[2] = 5;
    ASSERT_EQ(mda_Malloc(0, body_, 24, Slot(0)), 0);
    ASSERT_EQ(mda_Malloc(0, body_, 0, Slot(1)), 0);
    ASSERT_EQ(mda_MallocArray(0, body_, 12, Slot(2), 2, 5, 2), 0);
    const DDF_DIMEXPR slot2{-2, 0, 'e', 0}, seven_minus_slot1{7, -1, 'g', 0},
        nine_by_zero{9, 0, 'i', 0}, far{-DDF_COUNT_SLOTS, 0, 'e', 0}, one{1, 0, 'e', 0},
        two{2, 0, 'e', 0}, two_times_three{2, 3, 'h', 0};
    const struct {
        uint8_t type;
        uint16_t flags;
        std::vector<DDF_DIMEXPR> exprs;
        int32_t* counters;
        void* data;
        std::vector<int32_t> dims;
    } rows[] = {
        {DDF_DOUBLE, 0, {slot2, seven_minus_slot1, nine_by_zero}, slots.data(), nullptr, {5, 4, 0}},
        {DDF_DOUBLE, 0, {far, slot2}, slots.data(), nullptr, {0, 5}},
        {DDF_DOUBLE, 0, {slot2, two_times_three}, nullptr, nullptr, {0, 6}},
        {DDF_FSTRING, DDF_UNSIZED | DDF_PTRFIXED, {one, two_times_three}, nullptr, *Slot(0), {4}},
        {DDF_FSTRING, DDF_UNSIZED | DDF_PTRFIXED, {one, two_times_three}, nullptr, nullptr, {0}},
        {DDF_FSTRING, DDF_UNSIZED | DDF_PTRFIXED, {one, two_times_three}, nullptr, *Slot(1), {1}},
        {DDF_STRUCT, DDF_UNSIZED | DDF_VARIABLE, {one, two}, nullptr, *Slot(2), {5, 2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        DDF_FIELD field{};
        field.type = row.type;
        field.flags = row.flags;
        field.key = 12; // the size of a structure
        field.dim_count = static_cast<uint8_t>(row.exprs.size());
        std::copy(row.exprs.begin(), row.exprs.end(), field.dims);
        ddf__Counters = row.counters;
        int32_t dims[5] = {}, count = 0;
        EXPECT_EQ(mda_GetFieldDims(&field, row.data, dims, &count), 0);
        EXPECT_EQ(std::vector<int32_t>(dims, dims + count), row.dims);
    }
    ddf__Counters = nullptr;
}

} // namespace
