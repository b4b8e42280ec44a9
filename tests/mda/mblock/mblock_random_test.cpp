// Randomized sequences of every chain operation on one entity body against a
// reference model that knows which blocks exist, their bytes, and which
// pointer slot (in the body or inside another block) refers to which block.
// Arrays have two to five dimensions and elements of 1 to 12 bytes; blocks
// are made loose and attached, unlinked and attached again or freed alone,
// and arrays reallocated into another slot. Now and then an operation's
// allocation fails: it must report one message and change nothing. After
// every step the whole chain is checked: the library's own check, an
// independent walk of every invariant (the row tables of every array
// included), and a comparison with the model.
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "common/common_alloc.h"
#include "mda/mblock_check.h"
#include "support/fixture.h"

using mbtest::ChainFault;
using mbtest::FakeBody;
using mbtest::Header;

namespace {

struct Slot {
    int holder; // 0: the body; else a block id
    int64_t offset;
    bool operator<(const Slot& o) const {
        return holder != o.holder ? holder < o.holder : offset < o.offset;
    }
    bool operator==(const Slot&) const = default;
};

struct Block {
    bool array = false;
    int32_t ndims = 0;
    int32_t dims[5] = {};
    int32_t elem_size = 1;
    std::vector<uint8_t> bytes; // plain: the data; array: the elements, flattened
    Slot ref{};
};

class ChainModel {
public:
    explicit ChainModel(FakeBody* body) : body_(body) {}

    // The bytes of a holder as callers see them (an array's element area).
    char* Base(int id) {
        if (id == 0) return reinterpret_cast<char*>(body_);
        if (!blocks_[id].array) return static_cast<char*>(addr_[id]);
        MDA_ARRAY_HDR* a = mbtest::Array(addr_[id]);
        return reinterpret_cast<char*>(a) + a->elem_offset;
    }
    void** SlotAddress(const Slot& s) {
        return reinterpret_cast<void**>(Base(s.holder) + s.offset);
    }

    // What a caller does after it freed or moved a block: null the pointer.
    void ClearSlot(const Slot& s) {
        *SlotAddress(s) = nullptr;
        if (s.holder != 0) {
            auto& bytes = blocks_[s.holder].bytes;
            std::fill_n(bytes.begin() + s.offset, 8, 0);
        }
    }
    bool Occupied(const Slot& s) const { return owner_of_.count(s) != 0; }
    bool SlotByte(int holder, int64_t at) const {
        auto it = owner_of_.lower_bound(Slot{holder, at - 7});
        return it != owner_of_.end() && it->first.holder == holder && it->first.offset <= at;
    }

    // The free slots, excluding those inside `not_under` and its descendants.
    std::vector<Slot> FreeSlots(int not_under = -1) {
        std::vector<Slot> out;
        for (int64_t k = 0; k < 32; ++k)
            if (!Occupied({0, 24 + 8 * k})) out.push_back({0, 24 + 8 * k});
        for (auto& [id, b] : blocks_) {
            if (b.array && b.elem_size != 8) continue;
            if (not_under >= 0 && Descends(id, not_under)) continue;
            for (int64_t off = 0; off + 8 <= static_cast<int64_t>(b.bytes.size()); off += 8)
                if (!Occupied({id, off})) out.push_back({id, off});
        }
        return out;
    }
    bool Descends(int id, int ancestor) const {
        for (int at = id; at != 0; at = blocks_.at(at).ref.holder)
            if (at == ancestor) return true;
        return false;
    }

    int Add(Block b, void* data) {
        const int id = next_++;
        owner_of_[b.ref] = id;
        blocks_[id] = std::move(b);
        addr_[id] = data;
        return id;
    }
    // Forgets a block and, in turn, every block whose slot lay inside it.
    void Remove(int id) {
        std::vector<int> children;
        for (auto& [slot, child] : owner_of_)
            if (slot.holder == id) children.push_back(child);
        for (int child : children)
            Remove(child);
        owner_of_.erase(blocks_[id].ref);
        blocks_.erase(id);
        addr_.erase(id);
    }
    void Move(int id, const Slot& to) {
        owner_of_.erase(blocks_[id].ref);
        blocks_[id].ref = to;
        owner_of_[to] = id;
    }
    // Slots of holder `id` are renumbered by `map` (-1: the slot is gone).
    template <class F> void Remap(int id, F map) {
        std::vector<std::pair<Slot, int>> moved;
        std::vector<int> gone;
        for (auto it = owner_of_.begin(); it != owner_of_.end();) {
            if (it->first.holder != id) {
                ++it;
                continue;
            }
            const int64_t to = map(it->first.offset);
            if (to < 0) {
                gone.push_back(it->second);
                ++it;
            } else {
                moved.push_back({Slot{id, to}, it->second});
                it = owner_of_.erase(it);
            }
        }
        for (int child : gone)
            Remove(child);
        for (auto& [slot, child] : moved) {
            owner_of_[slot] = child;
            blocks_[child].ref = slot;
        }
    }

    // Everything about the chain that the model knows; "" when it matches.
    std::string Compare() {
        std::vector<MDA_MBLOCK*> chain;
        std::string fault = ChainFault(body_, &chain);
        if (!fault.empty()) return fault;
        if (chain.size() != blocks_.size())
            return "chain holds " + std::to_string(chain.size()) + " blocks, model " +
                   std::to_string(blocks_.size());
        // Each block's referrer, read from its predecessor's header.
        std::map<MDA_MBLOCK*, void**> referrer;
        for (MDA_MBLOCK* b = Header(body_); b->next != nullptr; b = b->next)
            referrer[b->next] = b->referrer;
        for (auto& [id, b] : blocks_) {
            MDA_MBLOCK* h = Header(addr_[id], b.array);
            if (referrer.count(h) == 0) return "block " + std::to_string(id) + " not in the chain";
            if (referrer[h] != SlotAddress(b.ref))
                return "block " + std::to_string(id) + " has the wrong referrer";
            if (*SlotAddress(b.ref) != addr_[id])
                return "slot of block " + std::to_string(id) + " does not hold it";
            if (h->type != (b.array ? MDA_MBLOCK_ARRAY : MDA_MBLOCK_PLAIN)) return "wrong type";
            if (b.array) {
                MDA_ARRAY_HDR* a = mbtest::Array(addr_[id]);
                for (int32_t i = 0; i < b.ndims; ++i)
                    if (a->dims[i] != b.dims[i]) return "wrong dimensions";
            } else if (h->size != ((static_cast<int32_t>(b.bytes.size()) + 43) & ~3)) {
                return "block " + std::to_string(id) + " has size " + std::to_string(h->size);
            }
            const char* data = Base(id);
            for (size_t i = 0; i < b.bytes.size(); ++i)
                if (!SlotByte(id, static_cast<int64_t>(i)) &&
                    static_cast<uint8_t>(data[i]) != b.bytes[i])
                    return "block " + std::to_string(id) + " byte " + std::to_string(i) +
                           " differs";
        }
        return "";
    }

    std::map<int, Block>& blocks() { return blocks_; }
    std::map<int, void*>& addr() { return addr_; }

private:
    FakeBody* body_;
    std::map<int, Block> blocks_;
    std::map<int, void*> addr_;
    std::map<Slot, int> owner_of_;
    int next_ = 1;
};

class MBlockRandom : public mvxtest::LibraryTest {};

int64_t Elements(const Block& b) {
    int64_t count = 1;
    for (int32_t i = 0; i < b.ndims; ++i)
        count *= b.dims[i];
    return count;
}

} // namespace

TEST_F(MBlockRandom, EveryOperationKeepsTheChainInStepWithAReferenceModel) {
    FakeBody* body = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
    body->header.own = 0x0600000000000011;
    FILE* check_output = std::tmpfile();
    ASSERT_NE(check_output, nullptr);
    mda__DbgFile = check_output;

    ChainModel model(body);
    std::mt19937 rng(20240611);
    auto pick = [&](auto& v) -> decltype(v[0])& { return v[rng() % v.size()]; };
    auto any_block = [&]() {
        auto it = model.blocks().begin();
        std::advance(it, rng() % model.blocks().size());
        return it->first;
    };
    auto random_dims = [&](Block& b) {
        for (int32_t i = 0; i < b.ndims; ++i)
            b.dims[i] = static_cast<int32_t>(rng() % (b.ndims <= 3 ? 4 : 3)) +
                        (i + 1 < b.ndims ? 1 : 0);
    };
    int counts[10] = {}, injected = 0;
    // Arms a failure of the next allocation now and then; `Failed` tells
    // whether the operation met it, after checking that it reported it
    // and left the pointer it was to set alone (the model, unchanged, is
    // compared with the chain at the end of the step).
    bool inject = false;
    auto arm = [&] {
        inject = rng() % 8 == 0;
        mvxc::SetAllocFailure(inject ? 1 : 0);
    };
    auto failed = [&](int32_t status, int32_t code, void* const* out, const void* before) {
        mvxc::SetAllocFailure(0);
        if (!inject) return false;
        EXPECT_EQ(status, code);
        EXPECT_EQ(mpm__ErrorStack->count, 1);
        EXPECT_EQ(*out, before);
        mpm_ClearStack(0);
        mpm__LastError = 0;
        ++injected;
        return true;
    };

    for (int step = 0; step < 4000; ++step) {
        const int op =
            model.blocks().empty() ? static_cast<int>(rng() % 2) * 4 : static_cast<int>(rng() % 10);
        const bool crowded = model.blocks().size() > 40;
        switch (crowded && (op == 0 || op == 4) ? 2 : op) {
        case 0: { // a plain block, a copied text, or a loose block attached
            std::vector<Slot> free = model.FreeSlots();
            Slot s = pick(free);
            void** slot = model.SlotAddress(s);
            void* const before = *slot; // a free slot may hold any bytes
            Block b;
            b.ref = s;
            const uint32_t how = rng() % 5;
            arm();
            if (how == 0) {
                std::string text(rng() % 20, 'a');
                for (char& c : text)
                    c = static_cast<char>('a' + rng() % 26);
                const int32_t rc = mda_Strdup(0, body, text.c_str(), reinterpret_cast<char**>(slot));
                if (failed(rc, MDA_MALLOC_ERR, slot, before)) break;
                ASSERT_EQ(rc, 0);
                b.bytes.assign(text.begin(), text.end());
                b.bytes.push_back(0);
            } else {
                b.bytes.assign(rng() % 81, 0);
                const auto size = static_cast<int32_t>(b.bytes.size());
                void* loose = nullptr;
                const int32_t rc = mda_Malloc(0, how == 1 ? nullptr : body, size,
                                              how == 1 ? &loose : slot);
                if (failed(rc, MDA_MALLOC_ERR, how == 1 ? &loose : slot, how == 1 ? nullptr : before))
                    break;
                ASSERT_EQ(rc, 0);
                if (how == 1) {
                    ASSERT_EQ(mda_AddMemory(0, body, loose, slot), 0);
                }
            }
            model.Add(std::move(b), *slot);
            break;
        }
        case 1: { // resize a plain block
            std::vector<int> plain;
            for (auto& [id, b] : model.blocks())
                if (!b.array) plain.push_back(id);
            if (plain.empty()) continue;
            const int id = pick(plain);
            Block& b = model.blocks()[id];
            const int64_t size = rng() % 81;
            // A pointer cut by the new end stops being one; its kept bytes
            // stay (while it is one, the comparison skips its bytes).
            for (int64_t off = 0; off < static_cast<int64_t>(b.bytes.size()); off += 8)
                if (off + 8 > size && model.Occupied({id, off}))
                    std::copy_n(model.Base(id) + off, 8, b.bytes.begin() + off);
            void** slot = model.SlotAddress(b.ref);
            void* const before = *slot;
            arm();
            const int32_t rc = mda_Realloc(0, body, before, static_cast<int32_t>(size), slot);
            if (failed(rc, MDA_REALLOC_ERR, slot, before)) break;
            ASSERT_EQ(rc, 0);
            b.bytes.resize(static_cast<size_t>(size), 0);
            model.addr()[id] = *slot;
            model.Remap(id, [&](int64_t off) { return off + 8 <= size ? off : -1; });
            break;
        }
        case 2: { // free a block (and what it refers to)
            const int id = any_block();
            Block& b = model.blocks()[id];
            void** slot = model.SlotAddress(b.ref);
            ASSERT_EQ(mda_Free(b.array ? MDA_FREE_ARRAY : 0, body, *slot), 0);
            const Slot where = b.ref;
            model.Remove(id);
            model.ClearSlot(where);
            break;
        }
        case 3: { // unlink a block, then attach it under another slot or free it alone
            const int id = any_block();
            Block& b = model.blocks()[id];
            std::vector<Slot> free = model.FreeSlots(id);
            if (free.empty()) continue;
            const Slot to = pick(free);
            void** from = model.SlotAddress(b.ref);
            void* data = *from;
            const uint32_t kind = b.array ? MDA_FREE_ARRAY : 0;
            ASSERT_EQ(mda_Free(kind | MDA_FREE_UNLINK, body, data), 0);
            ASSERT_NE(Header(data, b.array)->flags & MDA_MBLOCK_INDEPENDENT, 0);
            model.ClearSlot(b.ref);
            if (rng() % 4 == 0) { // the blocks it took along go with it
                ASSERT_EQ(mda_Free(kind, nullptr, data), 0);
                model.Remove(id);
                break;
            }
            ASSERT_EQ(mda_AddMemory(b.array ? MDA_ADD_ARRAY : 0, body, data, model.SlotAddress(to)),
                      0);
            model.Move(id, to);
            break;
        }
        case 4: { // an array, owned at once or attached later
            std::vector<Slot> free = model.FreeSlots();
            Slot s = pick(free);
            void** slot = model.SlotAddress(s);
            void* const before = *slot; // a free slot may hold any bytes
            Block b;
            b.array = true;
            b.ref = s;
            b.ndims = 2 + static_cast<int32_t>(rng() % 4);
            b.elem_size = std::vector<int32_t>{1, 2, 3, 8, 8, 12}[rng() % 6];
            random_dims(b);
            b.bytes.assign(static_cast<size_t>(Elements(b) * b.elem_size), 0);
            const bool loose = rng() % 3 == 0;
            void* made = nullptr;
            arm();
            const int32_t rc = mda__MallocArray(0, loose ? nullptr : body, b.elem_size, b.ndims,
                                                b.dims, loose ? &made : slot);
            if (failed(rc, MDA_MALLOC_ERR, loose ? &made : slot, loose ? nullptr : before)) break;
            ASSERT_EQ(rc, 0);
            if (loose) {
                ASSERT_EQ(mda_AddMemory(MDA_ADD_ARRAY, body, made, slot), 0);
            }
            model.Add(std::move(b), *slot);
            break;
        }
        case 5: { // reshape an array, now and then into another slot
            std::vector<int> arrays;
            for (auto& [id, b] : model.blocks())
                if (b.array) arrays.push_back(id);
            if (arrays.empty()) continue;
            const int id = pick(arrays);
            Block& b = model.blocks()[id];
            Block reshaped = b;
            random_dims(reshaped);
            const bool discard = rng() % 8 == 0;
            reshaped.bytes.assign(static_cast<size_t>(Elements(reshaped) * b.elem_size), 0);
            // Old flat element index -> new flat index, or -1.
            const Block old = b;
            auto map_element = [&old, &reshaped, discard](int64_t e) -> int64_t {
                if (discard) return -1;
                int64_t index[5], flat = 0;
                for (int32_t i = old.ndims - 1; i >= 0; --i) {
                    index[i] = e % old.dims[i];
                    e /= old.dims[i];
                }
                for (int32_t i = 0; i < old.ndims; ++i) {
                    if (index[i] >= reshaped.dims[i]) return -1;
                    flat = flat * reshaped.dims[i] + index[i];
                }
                return flat;
            };
            for (int64_t e = 0; e < Elements(b); ++e)
                if (int64_t to = map_element(e); to >= 0)
                    std::copy_n(b.bytes.begin() + e * b.elem_size, b.elem_size,
                                reshaped.bytes.begin() + to * b.elem_size);
            // The new array is referred to by the out pointer: the caller
            // clears the old one.
            std::vector<Slot> free = model.FreeSlots(id);
            const Slot from = b.ref;
            const Slot to = rng() % 4 == 0 && !free.empty() ? pick(free) : from;
            void** out = model.SlotAddress(to);
            void* const before = *out;
            arm();
            const int32_t rc =
                mda__ReallocArray(discard ? MDA_REALLOC_DISCARD : 0, body, *model.SlotAddress(from),
                                  b.elem_size, b.ndims, reshaped.dims, out);
            if (failed(rc, MDA_REALLOC_ERR, out, before)) break;
            ASSERT_EQ(rc, 0);
            const int32_t size = b.elem_size;
            b = reshaped;
            model.addr()[id] = *out;
            model.Remap(id, [&](int64_t off) {
                const int64_t to = map_element(off / size);
                return to < 0 ? -1 : to * size + off % size;
            });
            if (!(to == from)) {
                model.ClearSlot(from);
                model.Move(id, to);
            }
            break;
        }
        default: { // scribble on bytes that hold no pointer
            const int id = any_block();
            Block& b = model.blocks()[id];
            char* data = model.Base(id);
            for (size_t i = 0; i < b.bytes.size(); ++i)
                if (rng() % 3 == 0 && !model.SlotByte(id, static_cast<int64_t>(i))) {
                    b.bytes[i] = static_cast<uint8_t>(rng());
                    data[i] = static_cast<char>(b.bytes[i]);
                }
            break;
        }
        }
        ++counts[op];
        ASSERT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0) << "step " << step;
        ASSERT_EQ(std::ftell(check_output), 0) << "step " << step;
        ASSERT_EQ(model.Compare(), "") << "step " << step << " op " << op;
        ASSERT_EQ(mpm__LastError, 0) << "step " << step;
    }
    for (int op = 0; op < 10; ++op)
        EXPECT_GT(counts[op], 100) << "operation " << op << " hardly ran";
    EXPECT_GT(injected, 100);
    EXPECT_EQ(mda_FreeAll(0, body), 0);
    EXPECT_EQ(Header(body)->next, nullptr);
    EXPECT_EQ(mda_Free(0, nullptr, body), 0);
    std::fclose(check_output);
}
