// map.cpp - the IMap family: an ordered map held in a red-black tree.
//
// The tree hangs below a black root holder whose left child is the root, so rotations and the
// insert fix-up need no special case for the root.  One black end marker stands for every
// missing child; removal writes its parent link, which the delete fix-up relies on.
//
// Each map has its own end marker: IMapDup allocates the root holder and the end marker together
// as one Tree block, and IMap::tree points at the holder, the block's first member, so the marker
// is found from the record without a process-wide node.  Different maps therefore share no state
// and may be changed from different threads.  The record layout stays as callers know it.
//
// Removal moves the successor node into the removed entry's place instead of copying its key and
// payload, so no other entry's node (and IMapElement) changes.  The mirror-image cases of the
// rotations and fix-ups are one template over the two child links.  Walks in key order ask for the
// nodes they enter next ahead of time (see First), and so does removal (see Remove).
//
// Nodes live in slabs of aligned slots that the map allocates from the heap as it grows (see
// Slab): each node lies in one cache line, where 48-byte nodes in the heap's own 64-byte blocks
// start 16 or 48 bytes into a line, and at 48 every node spans two.  A map is a walk through
// memory at random, one line per level, so lines (and pages, for big maps) are what its
// operations cost.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "kavutil.h"
#include "platform/mapped_file.h"
#include "platform/memory.h"

namespace {

// ---- Node slabs
//
// A slab is one heap block: a header, then slots of 64 bytes on 64-byte boundaries (32 in 32-bit
// builds), each holding a node and the slab it belongs to.  A map keeps the slabs that have a
// free slot in a list and takes nodes from the first.  A new slab holds as many slots as the map
// has entries, at least 4 and at most 256 (16 KiB), which keeps small maps small.  Where the system
// offers large pages without privileges (kLargePageSize), a map of more than 256 entries gets slabs
// of up to one large page (2 MiB, 32,767 slots), and full-sized ones are aligned to it and asked to
// be backed by a large page: a descent through a big map then misses the address-translation cache
// far less often.  A node that leaves goes back to its slab's free list; a slab whose slots are all
// free again goes back to the heap, unless it is the map's only slab with free slots (so that a
// map that gains and loses one entry does not allocate each time).  IMapClear and IMapFree give
// every node back, then release the slab that is left.

struct Slab {
  Slab *prev;  // in the map's list of slabs with a free slot
  Slab *next;
  IMapNode *free;  // slots given back, linked through their left
  void *block;     // what the heap gave; the slab is aligned within it
  int capacity;
  int used;   // slots holding an entry
  int fresh;  // the slots from here on have never been used
};

struct Slot {
  IMapNode node;  // first member: a node's address is its slot's
  Slab *slab;
};

// The smallest power of two that holds a slot: 64 bytes where pointers have 64 bits, 32 where
// they have 32 (a node of 24 bytes).  Slots on such boundaries never cross a cache line.
constexpr std::size_t PowerOfTwoAtLeast(std::size_t size) {
  std::size_t power = 1;
  while (power < size) power *= 2;
  return power;
}
constexpr std::size_t kSlotSize = PowerOfTwoAtLeast(sizeof(Slot));
constexpr int kFewestSlots = 4;
constexpr int kSmallSlabSlots = 256;
constexpr std::size_t kLargeSlabSize = kav::platform::kLargePageSize;  // 0: no large slabs
constexpr int kLargeSlabSlots =
    kLargeSlabSize == 0 ? 0 : static_cast<int>(kLargeSlabSize / kSlotSize) - 1;

static_assert(sizeof(Slab) <= kSlotSize);
static_assert(offsetof(Slot, node) == 0);

int SlotsFor(int count) {
  if (kLargeSlabSlots == 0 || count <= kSmallSlabSlots) {
    return std::clamp(count, kFewestSlots, kSmallSlabSlots);
  }
  return std::min(count, kLargeSlabSlots);
}

Slot *SlotAt(Slab *slab, int index) {
  return reinterpret_cast<Slot *>(reinterpret_cast<char *>(slab) + kSlotSize * (index + 1));
}

Slab *NewSlab(int capacity) {
  const std::size_t size = kSlotSize * (static_cast<std::size_t>(capacity) + 1);
  const bool large = kLargeSlabSize != 0 && size == kLargeSlabSize;
  const std::size_t alignment = large ? kLargeSlabSize : kSlotSize;
  void *block = kav::platform::memory::allocate(size + alignment - 1);
  if (block == nullptr) return nullptr;
  const std::uintptr_t aligned =
      (reinterpret_cast<std::uintptr_t>(block) + alignment - 1) & ~std::uintptr_t{alignment - 1};
  auto *slab = reinterpret_cast<Slab *>(aligned);
  if (large) kav::platform::advise_large_page(slab);
  *slab = Slab{nullptr, nullptr, nullptr, block, capacity, 0, 0};
  return slab;
}

void LinkSlab(Slab *&open, Slab *slab) {
  slab->prev = nullptr;
  slab->next = open;
  if (open != nullptr) open->prev = slab;
  open = slab;
}

void UnlinkSlab(Slab *&open, Slab *slab) {
  (slab->prev != nullptr ? slab->prev->next : open) = slab->next;
  if (slab->next != nullptr) slab->next->prev = slab->prev;
}

// A node for a map of count entries, or null when the heap has no room for a slab.
IMapNode *TakeNode(Slab *&open, int count) {
  if (open == nullptr) {
    Slab *slab = NewSlab(SlotsFor(count));
    if (slab == nullptr) return nullptr;
    LinkSlab(open, slab);
  }
  Slab *slab = open;
  IMapNode *node = slab->free;
  if (node != nullptr) {
    slab->free = node->left;
  } else {
    Slot *slot = SlotAt(slab, slab->fresh++);
    slot->slab = slab;
    node = &slot->node;
  }
  if (++slab->used == slab->capacity) UnlinkSlab(open, slab);
  return node;
}

void GiveNode(Slab *&open, IMapNode *node) {
  Slab *slab = reinterpret_cast<Slot *>(node)->slab;
  if (slab->used == slab->capacity) LinkSlab(open, slab);
  node->left = slab->free;
  slab->free = node;
  if (--slab->used == 0 && (slab->prev != nullptr || slab->next != nullptr)) {
    UnlinkSlab(open, slab);
    kav::platform::memory::release(slab->block);
  }
}

// Once every node has been given back: the one slab that can be left.
void ReleaseAllSlabs(Slab *&open) {
  while (open != nullptr) {
    Slab *slab = open;
    open = slab->next;
    kav::platform::memory::release(slab->block);
  }
}

struct Tree {
  IMapNode holder;  // first member: IMap::tree points here
  IMapNode end;
  Slab *open;  // the slabs with a free slot
};

static_assert(offsetof(Tree, holder) == 0);
static_assert(offsetof(IMapNode, payload) == offsetof(IMapNode, key) + sizeof(kav_word));
static_assert(sizeof(IMapElement) == 2 * sizeof(kav_word));

using Link = IMapNode *IMapNode::*;
constexpr Link kLeft = &IMapNode::left;
constexpr Link kRight = &IMapNode::right;

// A hint only: the node is asked for from memory, nothing is read or written.
void Prefetch(const IMapNode *node) { __builtin_prefetch(node); }

void MakeEnd(IMapNode *node, IMapNode *end) { *node = IMapNode{0, end, end, end, 0, 0}; }

IMapElement *ElementOf(IMapNode *node) { return reinterpret_cast<IMapElement *>(&node->key); }

void ReplaceChild(IMapNode *parent, const IMapNode *old_child, IMapNode *new_child) {
  if (parent->left == old_child) {
    parent->left = new_child;
  } else {
    parent->right = new_child;
  }
}

// One map's tree seen through its record; every operation on a working map goes through it.
class MapTree {
 public:
  explicit MapTree(IMap *map)
      : map_(map),
        holder_(map->tree),
        end_(&reinterpret_cast<Tree *>(map->tree)->end),
        open_(reinterpret_cast<Tree *>(map->tree)->open) {}

  IMapNode *end() const { return end_; }
  IMapNode *Root() const { return holder_->left; }

  IMapNode *Find(kav_word key) const {
    IMapNode *node = Root();
    while (node != end_) {
      const int c = map_->compare(node->key, key);
      if (c == 0) return node;
      node = c > 0 ? node->left : node->right;
    }
    return nullptr;
  }

  // Find for a removal: the descent also asks for the child it does not take, the sibling whose
  // colours the fix-up reads when the removed node is near the bottom.
  IMapNode *FindForRemoval(kav_word key) const {
    IMapNode *node = Root();
    while (node != end_) {
      Prefetch(node->left);
      Prefetch(node->right);
      const int c = map_->compare(node->key, key);
      if (c == 0) return node;
      node = c > 0 ? node->left : node->right;
    }
    return nullptr;
  }

  IMapNode *LowerBound(kav_word key) const {
    IMapNode *node = Root();
    IMapNode *above = nullptr;
    while (node != end_) {
      const int c = map_->compare(node->key, key);
      if (c == 0) return node;
      if (c > 0) above = node;
      node = c > 0 ? node->left : node->right;
    }
    return above;
  }

  IMapNode *Minimum(IMapNode *node) const {
    while (node->left != end_) node = node->left;
    return node;
  }

  // The walks (IMapFirst and IMapNext, the cursor, IMapPos, IMapElementN) go through these two.
  // Nodes lie in memory in the order they were made, so a walk in key order meets a cache miss
  // at nearly every node, and each step needs the node before it: the misses would come one
  // after the other.  So the walk asks for nodes before it needs them: the right child of every
  // node it passes on the way down, and at each entry the tops of the next three right subtrees
  // it will enter (its own, and those of the next two ancestors it climbs to; two levels of the
  // farthest).  They arrive while the caller works and the walk goes on.
  IMapNode *First() const { return Root() == end_ ? end_ : Ahead(WalkDown(Root())); }

  // The end marker when there is none.
  IMapNode *Successor(IMapNode *node) const {
    if (node->right != end_) return Ahead(WalkDown(node->right));
    IMapNode *next = LeftAncestor(node);
    return next == holder_ ? end_ : Ahead(next);
  }

  // Where a key is, or the link its new node goes into.
  struct Place {
    IMapNode *found;
    IMapNode *parent;
    IMapNode **link;
  };

  Place Locate(kav_word key) const {
    Place place{nullptr, holder_, &holder_->left};
    while (*place.link != end_) {
      IMapNode *node = *place.link;
      const int c = map_->compare(node->key, key);
      if (c == 0) {
        place.found = node;
        break;
      }
      place.parent = node;
      place.link = c > 0 ? &node->left : &node->right;
    }
    return place;
  }

  IMapNode *NewNode() { return TakeNode(open_, map_->count); }
  void ReleaseSlabs() { ReleaseAllSlabs(open_); }

  kav_word Set(kav_word key, kav_word payload);
  IMapNode *Attach(const Place &place, kav_word key, IMapNode *node);
  void Remove(IMapNode *z);
  void Destroy(IMapNode *node);
  bool CopyFrom(const IMap *source);

 private:
  IMapNode *WalkDown(IMapNode *node) const {
    for (;; node = node->left) {
      Prefetch(node->right);
      if (node->left == end_) return node;
    }
  }

  IMapNode *Ahead(IMapNode *node) const {
    PrefetchChildren(node->right);
    const IMapNode *next = LeftAncestor(node);
    if (next == holder_) return node;
    PrefetchChildren(next->right);
    next = LeftAncestor(next);
    if (next == holder_) return node;
    PrefetchChildren(next->right);
    if (next->right != end_) {
      PrefetchChildren(next->right->left);
      PrefetchChildren(next->right->right);
    }
    return node;
  }

  // The nearest ancestor with the node in its left subtree: the entry the walk reaches after
  // the node's subtree.  The holder when there is none.
  IMapNode *LeftAncestor(const IMapNode *node) const {
    IMapNode *parent = node->parent;
    while (parent != holder_ && node == parent->right) {
      node = parent;
      parent = parent->parent;
    }
    return parent;
  }

  void PrefetchChildren(const IMapNode *node) const {
    if (node == end_) return;
    Prefetch(node->left);
    Prefetch(node->right);
  }

  kav_word CopyPayload(kav_word payload) const {
    return payload != 0 && map_->copy_payload != nullptr ? map_->copy_payload(payload) : payload;
  }
  void ReleaseEntry(const IMapNode *node) const;
  kav_word Update(IMapNode *node, kav_word payload) const;
  bool CopySubtree(const IMapNode *from, const IMapNode *from_end, IMapNode *parent,
                   IMapNode **link);

  template <Link A, Link B>
  void Rotate(IMapNode *x);  // x's B child takes x's place: a left rotation for <kLeft, kRight>
  template <Link A, Link B>
  IMapNode *InsertStep(IMapNode *x);
  void InsertFixup(IMapNode *x);
  template <Link A, Link B>
  IMapNode *RemoveStep(IMapNode *x, IMapNode *root);
  void RemoveFixup(IMapNode *x);

  IMap *map_;
  IMapNode *holder_;
  IMapNode *end_;
  Slab *&open_;  // the map's slabs with a free slot
};

void MapTree::ReleaseEntry(const IMapNode *node) const {
  if (map_->release_key != nullptr && node->key != 0) map_->release_key(node->key);
  if (map_->release_payload != nullptr && node->payload != 0) {
    map_->release_payload(node->payload);
  }
}

// A present key: a non-zero payload replaces a non-zero one only when the map can release it;
// payload 0 fills an empty entry with the default.
kav_word MapTree::Update(IMapNode *node, kav_word payload) const {
  if (payload != 0 && node->payload != 0 && map_->release_payload != nullptr) {
    map_->release_payload(node->payload);
    node->payload = 0;
  }
  if (payload == 0) payload = map_->default_payload;
  if (payload != 0 && node->payload == 0) node->payload = CopyPayload(payload);
  return node->payload;
}

kav_word MapTree::Set(kav_word key, kav_word payload) {
  const Place place = Locate(key);
  if (place.found != nullptr) return Update(place.found, payload);
  IMapNode *node = NewNode();
  if (node == nullptr) return 0;
  node->payload = payload == 0 ? map_->default_payload : payload;
  return Attach(place, key, node)->payload;
}

// Enters an absent key in the given node, whose payload is still uncopied, where the descent
// ended.  The descent's last comparison places the node: compare is not asked a second time.
IMapNode *MapTree::Attach(const Place &place, kav_word key, IMapNode *node) {
  node->key = map_->copy_key(key);
  node->payload = CopyPayload(node->payload);
  node->red = 1;
  node->left = node->right = end_;
  node->parent = place.parent;
  *place.link = node;
  ++map_->count;
  InsertFixup(node);
  return node;
}

template <Link A, Link B>
void MapTree::Rotate(IMapNode *x) {
  IMapNode *y = x->*B;
  x->*B = y->*A;
  if (y->*A != end_) (y->*A)->parent = x;
  y->parent = x->parent;
  ReplaceChild(x->parent, x, y);
  y->*A = x;
  x->parent = y;
}

// One step with x's parent on the A side of the grandparent; returns where x moves.
template <Link A, Link B>
IMapNode *MapTree::InsertStep(IMapNode *x) {
  IMapNode *parent = x->parent;
  IMapNode *grandparent = parent->parent;
  IMapNode *uncle = grandparent->*B;
  if (uncle->red) {
    parent->red = uncle->red = 0;
    grandparent->red = 1;
    return grandparent;
  }
  if (x == parent->*B) {
    x = parent;
    Rotate<A, B>(x);
  }
  x->parent->red = 0;
  x->parent->parent->red = 1;
  Rotate<B, A>(x->parent->parent);
  return x;
}

void MapTree::InsertFixup(IMapNode *x) {
  while (x->parent->red) {
    x = x->parent == x->parent->parent->left ? InsertStep<kLeft, kRight>(x)
                                             : InsertStep<kRight, kLeft>(x);
  }
  Root()->red = 0;
}

// y is the node that leaves its place: z itself, or z's successor, which then takes z's place.
// Removal reads and writes lines that the descent to z did not bring: z's left child (whose
// parent becomes the successor), the way down to the successor, the sibling of the node that
// leaves and that sibling's children (the fix-up's colours).  They are asked for before any of
// them is needed, so that they arrive together rather than one after another.
void MapTree::Remove(IMapNode *z) {
  IMapNode *y = z;
  if (z->left != end_ && z->right != end_) {
    __builtin_prefetch(z->left, 1);
    for (y = z->right;; y = y->left) {
      Prefetch(y->right);
      if (y->left == end_) break;
    }
  }
  PrefetchChildren(y == y->parent->left ? y->parent->right : y->parent->left);
  IMapNode *x = y->left != end_ ? y->left : y->right;
  const bool black = !y->red;
  x->parent = y->parent;  // also for the end marker: the fix-up climbs from it
  ReplaceChild(y->parent, y, x);
  if (y != z) {
    if (black) RemoveFixup(x);
    ReleaseEntry(z);
    y->left = z->left;
    y->right = z->right;
    y->parent = z->parent;
    y->red = z->red;
    z->right->parent = y;
    z->left->parent = y;
    ReplaceChild(z->parent, z, y);
  } else {
    ReleaseEntry(z);
    if (black) RemoveFixup(x);
  }
  if (map_->current == z) map_->current = nullptr;
  GiveNode(open_, z);
  --map_->count;
}

// One step with x on the A side of its parent; returns where x moves (root ends the loop).
template <Link A, Link B>
IMapNode *MapTree::RemoveStep(IMapNode *x, IMapNode *root) {
  IMapNode *parent = x->parent;
  IMapNode *sibling = parent->*B;
  if (sibling->red) {
    sibling->red = 0;
    parent->red = 1;
    Rotate<A, B>(parent);
    sibling = parent->*B;
  }
  if (!(sibling->*A)->red && !(sibling->*B)->red) {
    sibling->red = 1;
    return parent;
  }
  if (!(sibling->*B)->red) {
    (sibling->*A)->red = 0;
    sibling->red = 1;
    Rotate<B, A>(sibling);
    sibling = parent->*B;
  }
  sibling->red = parent->red;
  parent->red = 0;
  (sibling->*B)->red = 0;
  Rotate<A, B>(parent);
  return root;
}

void MapTree::RemoveFixup(IMapNode *x) {
  IMapNode *root = Root();
  while (x != root && !x->red) {
    x = x == x->parent->left ? RemoveStep<kLeft, kRight>(x, root)
                             : RemoveStep<kRight, kLeft>(x, root);
  }
  x->red = 0;
}

// Post-order; recursion depth is the tree's height.
void MapTree::Destroy(IMapNode *node) {
  if (node == end_) return;
  Destroy(node->left);
  Destroy(node->right);
  ReleaseEntry(node);
  GiveNode(open_, node);
  --map_->count;
}

// Pre-order, keeping shape and colours; compare is never called.  Each node is linked before its
// subtrees are copied, so a copy cut short by memory is still a tree that Destroy can empty.
bool MapTree::CopySubtree(const IMapNode *from, const IMapNode *from_end, IMapNode *parent,
                          IMapNode **link) {
  if (from == from_end) return true;
  IMapNode *node = NewNode();
  if (node == nullptr) return false;
  *node = IMapNode{
      from->red, end_, end_, parent, map_->copy_key(from->key), CopyPayload(from->payload)};
  *link = node;
  ++map_->count;
  return CopySubtree(from->left, from_end, node, &node->left) &&
         CopySubtree(from->right, from_end, node, &node->right);
}

bool MapTree::CopyFrom(const IMap *source) {
  const IMapNode *from_end = &reinterpret_cast<const Tree *>(source->tree)->end;
  return CopySubtree(source->tree->left, from_end, holder_, &holder_->left);
}

// Maps without a tree (null or a prototype) answer every lookup as empty.
bool Usable(const IMap *map) { return map != nullptr && map->tree != nullptr; }

MapTree Of(const IMap *map) { return MapTree(const_cast<IMap *>(map)); }

IMapNode *FindIn(const IMap *map, kav_word key) {
  return Usable(map) ? Of(map).Find(key) : nullptr;
}

IMapNode *CursorNode(const IMap *map) {
  if (!Usable(map) || map->current == nullptr || map->current == Of(map).end()) return nullptr;
  return map->current;
}

// The iterator's node and values from a node or the end marker; returns the payload.
kav_word Settle(IMapIterator *iterator, IMapNode *node, const IMapNode *end) {
  if (node == nullptr || node == end) return 0;
  iterator->node = node;
  iterator->key = node->key;
  iterator->payload = node->payload;
  return node->payload;
}

IMap *Inner(const IMap *map, kav_word k1) { return reinterpret_cast<IMap *>(IMapGet(map, k1)); }

}  // namespace

extern "C" {

IMap *KAV_CALL IMapDup(const IMap *source) KAV_NOEXCEPT {
  if (source == nullptr) return nullptr;
  auto *map = static_cast<IMap *>(kav::platform::memory::allocate(sizeof(IMap)));
  if (map == nullptr) return nullptr;
  *map = *source;
  map->tree = nullptr;
  map->count = 0;
  map->current = nullptr;
  auto *tree = static_cast<Tree *>(kav::platform::memory::allocate(sizeof(Tree)));
  if (tree == nullptr) {
    kav::platform::memory::release(map);
    return nullptr;
  }
  MakeEnd(&tree->end, &tree->end);
  MakeEnd(&tree->holder, &tree->end);
  tree->open = nullptr;
  map->tree = &tree->holder;
  if (source->tree != nullptr && !MapTree(map).CopyFrom(source)) {
    IMapFree(map);
    return nullptr;
  }
  return map;
}

kav_word KAV_CALL IMapSet(IMap *map, kav_word key, kav_word payload) KAV_NOEXCEPT {
  return Usable(map) ? MapTree(map).Set(key, payload) : 0;
}

kav_word KAV_CALL IMapGet(const IMap *map, kav_word key) KAV_NOEXCEPT {
  const IMapNode *node = FindIn(map, key);
  return node != nullptr ? node->payload : 0;
}

void KAV_CALL IMapDelete(IMap *map, kav_word key) KAV_NOEXCEPT {
  if (!Usable(map)) return;
  MapTree tree(map);
  if (IMapNode *node = tree.FindForRemoval(key)) tree.Remove(node);
}

void KAV_CALL IMapRename(IMap *map, kav_word old_key, kav_word new_key) KAV_NOEXCEPT {
  if (!Usable(map) || old_key == 0 || new_key == 0) return;
  if (map->compare(old_key, new_key) == 0) return;
  MapTree tree(map);
  IMapNode *old_node = tree.Find(new_key) == nullptr ? tree.Find(old_key) : nullptr;
  if (old_node == nullptr) return;
  // Taken before the old entry goes, so running out of memory changes nothing.
  IMapNode *node = tree.NewNode();
  if (node == nullptr) return;
  const kav_word payload = old_node->payload;
  old_node->payload = 0;
  tree.Remove(old_node);
  node->payload = map->default_payload;
  tree.Attach(tree.Locate(new_key), new_key, node);
  if (node->payload != 0 && map->release_payload != nullptr) map->release_payload(node->payload);
  node->payload = payload;
}

void KAV_CALL IMapClear(IMap *map) KAV_NOEXCEPT {
  if (!Usable(map)) return;
  MapTree tree(map);
  tree.Destroy(tree.Root());
  tree.ReleaseSlabs();
  map->tree->left = tree.end();
  map->count = 0;
  map->current = nullptr;
}

void KAV_CALL IMapFree(IMap *map) KAV_NOEXCEPT {
  if (map == nullptr) return;
  IMapClear(map);
  if (map->tree != nullptr) kav::platform::memory::release(reinterpret_cast<Tree *>(map->tree));
  kav::platform::memory::release(map);
}

int KAV_CALL IMapCount(const IMap *map) KAV_NOEXCEPT { return map != nullptr ? map->count : -1; }

int KAV_CALL IMapPos(const IMap *map, kav_word key) KAV_NOEXCEPT {
  if (!Usable(map) || key == 0) return -1;
  const MapTree tree = Of(map);
  int rank = 0;
  for (IMapNode *node = tree.First(); node != tree.end(); node = tree.Successor(node), ++rank) {
    const int c = map->compare(node->key, key);
    if (c == 0) return rank;
    if (c > 0) return -1;
  }
  return -1;
}

kav_word KAV_CALL IMapFirst(IMapIterator *iterator, IMap *map) KAV_NOEXCEPT {
  if (iterator == nullptr) return 0;
  *iterator = IMapIterator{map, nullptr, 0, 0};
  if (!Usable(map)) return 0;
  const MapTree tree(map);
  return Settle(iterator, tree.First(), tree.end());
}

kav_word KAV_CALL IMapGTE(IMapIterator *iterator, IMap *map, kav_word key) KAV_NOEXCEPT {
  if (iterator == nullptr) return 0;
  *iterator = IMapIterator{map, nullptr, 0, 0};
  if (!Usable(map)) return 0;
  const MapTree tree(map);
  return Settle(iterator, tree.LowerBound(key), tree.end());
}

kav_word KAV_CALL IMapNext(IMapIterator *iterator) KAV_NOEXCEPT {
  if (iterator == nullptr) return 0;
  iterator->key = iterator->payload = 0;
  if (!Usable(iterator->map) || iterator->node == nullptr) return 0;
  const MapTree tree(iterator->map);
  IMapNode *next = tree.Successor(iterator->node);
  iterator->node = nullptr;
  return Settle(iterator, next, tree.end());
}

void KAV_CALL IMapSetCurrent(IMap *map, kav_word key) KAV_NOEXCEPT {
  if (map != nullptr) map->current = FindIn(map, key);
}

kav_word KAV_CALL IMapKeyCurrent(const IMap *map) KAV_NOEXCEPT {
  const IMapNode *node = CursorNode(map);
  return node != nullptr ? node->key : 0;
}

kav_word KAV_CALL IMapPayloadCurrent(const IMap *map) KAV_NOEXCEPT {
  const IMapNode *node = CursorNode(map);
  return node != nullptr ? node->payload : 0;
}

// An empty map puts the cursor past the end: on the map's own end marker.
IMapElement *KAV_CALL IMapElementFirst(IMap *map) KAV_NOEXCEPT {
  if (!Usable(map)) return nullptr;
  const MapTree tree(map);
  map->current = tree.First();
  return IMapElementCurrent(map);
}

IMapElement *KAV_CALL IMapElementNext(IMap *map) KAV_NOEXCEPT {
  IMapNode *node = CursorNode(map);
  if (node == nullptr) return nullptr;
  map->current = MapTree(map).Successor(node);
  return IMapElementCurrent(map);
}

IMapElement *KAV_CALL IMapElementCurrent(IMap *map) KAV_NOEXCEPT {
  IMapNode *node = CursorNode(map);
  return node != nullptr ? ElementOf(node) : nullptr;
}

IMapElement *KAV_CALL IMapElementN(IMap *map, int n) KAV_NOEXCEPT {
  if (!Usable(map) || n < 0 || n >= map->count) return nullptr;
  const MapTree tree(map);
  IMapNode *node = tree.First();
  for (; n > 0 && node != tree.end(); --n) node = tree.Successor(node);
  return node != tree.end() ? ElementOf(node) : nullptr;
}

kav_word KAV_CALL IMapSet2(IMap *map, kav_word k1, kav_word key, kav_word payload) KAV_NOEXCEPT {
  IMap *inner = reinterpret_cast<IMap *>(IMapSet(map, k1, 0));
  return inner != nullptr ? IMapSet(inner, key, payload) : 0;
}

kav_word KAV_CALL IMapGet2(const IMap *map, kav_word k1, kav_word key) KAV_NOEXCEPT {
  return IMapGet(Inner(map, k1), key);
}

void KAV_CALL IMapDelete2(IMap *map, kav_word k1, kav_word key) KAV_NOEXCEPT {
  IMapDelete(Inner(map, k1), key);
}

void KAV_CALL IMapRename2(IMap *map, kav_word k1, kav_word old_key, kav_word new_key) KAV_NOEXCEPT {
  IMapRename(Inner(map, k1), old_key, new_key);
}

int KAV_CALL IMapPos2(const IMap *map, kav_word k1, kav_word key) KAV_NOEXCEPT {
  return IMapPos(Inner(map, k1), key);
}

int KAV_CALL IMapCount2(const IMap *map, kav_word k1) KAV_NOEXCEPT {
  return IMapCount(Inner(map, k1));
}

}  // extern "C"
