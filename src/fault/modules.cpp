// The loaded-object snapshot, export look-up through the dynamic symbol
// tables, and the memory readability test. Everything here is usable inside
// a signal handler: no heap (the list's memory comes from its resource), no
// locks besides the loader's own.
#include "fault/faultguard.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace inkpost {

namespace {

void copyName(char (&dst)[256], const char* src) {
  size_t n = strnlen(src, sizeof(dst) - 1);
  memcpy(dst, src, n);
  dst[n] = '\0';
}

const char* baseName(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// The executable's file name, read from /proc (a system call only).
void executableName(char (&dst)[256]) {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) {
    copyName(dst, program_invocation_short_name ? program_invocation_short_name : "");
    return;
  }
  path[n] = '\0';
  copyName(dst, baseName(path));
}

int collectModule(struct dl_phdr_info* info, size_t, void* data) {
  auto* items = static_cast<std::pmr::vector<ModuleInfo>*>(data);
  ModuleInfo m;
  uintptr_t low = UINTPTR_MAX, high = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD) {
      uintptr_t start = info->dlpi_addr + ph.p_vaddr;
      low = std::min(low, start & ~uintptr_t(ph.p_align > 1 ? ph.p_align - 1 : 0));
      high = std::max(high, start + ph.p_memsz);
    } else if (ph.p_type == PT_DYNAMIC) {
      m.dynamic = reinterpret_cast<const void*>(info->dlpi_addr + ph.p_vaddr);
    }
  }
  if (high == 0) return 0;
  m.base = low;
  m.end = high;
  m.bias = info->dlpi_addr;
  if (items->empty()) {
    executableName(m.name);
  } else {
    copyName(m.name, baseName(info->dlpi_name ? info->dlpi_name : ""));
  }
  if (items->size() < items->capacity()) items->push_back(m);
  return 0;
}

// How many entries the dynamic symbol table has, from its hash table.
size_t symbolCount(const uint32_t* hash, const uint32_t* gnuHash) {
  if (hash) return hash[1];
  if (!gnuHash) return 0;
  uint32_t nbuckets = gnuHash[0];
  uint32_t symoffset = gnuHash[1];
  uint32_t bloomSize = gnuHash[2];
  auto* bloom = reinterpret_cast<const ElfW(Addr)*>(gnuHash + 4);
  auto* buckets = reinterpret_cast<const uint32_t*>(bloom + bloomSize);
  const uint32_t* chain = buckets + nbuckets;
  uint32_t last = 0;
  for (uint32_t i = 0; i < nbuckets; ++i) last = std::max(last, buckets[i]);
  if (last < symoffset) return symoffset;
  while ((chain[last - symoffset] & 1) == 0) ++last;
  return last + 1;
}

}  // namespace

ModuleList::ModuleList(std::pmr::memory_resource* mr) : items_(mr) {}

void ModuleList::snapshot() {
  items_.clear();
  items_.reserve(1024);
  dl_iterate_phdr(collectModule, &items_);
}

const ModuleInfo* ModuleList::find(uintptr_t address) const {
  for (const ModuleInfo& m : items_) {
    if (address >= m.base && address < m.end) return &m;
  }
  return nullptr;
}

bool FindNearestExport(const ModuleInfo& module, uintptr_t address, ExportMatch& out) {
  if (!module.dynamic) return false;
  // The loader rewrites most dynamic entries to run-time addresses; objects
  // it did not relocate (the vDSO) keep link-time ones.
  auto place = [&](ElfW(Addr) p) -> uintptr_t {
    uintptr_t a = p < module.bias ? p + module.bias : p;
    return a >= module.base && a < module.end ? a : 0;
  };
  const ElfW(Sym)* symtab = nullptr;
  const char* strtab = nullptr;
  const uint32_t* hash = nullptr;
  const uint32_t* gnuHash = nullptr;
  size_t strsz = 0;
  for (auto* d = static_cast<const ElfW(Dyn)*>(module.dynamic); d->d_tag != DT_NULL; ++d) {
    switch (d->d_tag) {
      case DT_SYMTAB:
        symtab = reinterpret_cast<const ElfW(Sym)*>(place(d->d_un.d_ptr));
        break;
      case DT_STRTAB:
        strtab = reinterpret_cast<const char*>(place(d->d_un.d_ptr));
        break;
      case DT_STRSZ:
        strsz = d->d_un.d_val;
        break;
      case DT_HASH:
        hash = reinterpret_cast<const uint32_t*>(place(d->d_un.d_ptr));
        break;
      case DT_GNU_HASH:
        gnuHash = reinterpret_cast<const uint32_t*>(place(d->d_un.d_ptr));
        break;
      default:
        break;
    }
  }
  if (!symtab || !strtab) return false;
  size_t count = symbolCount(hash, gnuHash);
  const ElfW(Sym)* best = nullptr;
  uintptr_t bestAddress = 0;
  for (size_t i = 1; i < count; ++i) {
    const ElfW(Sym)& s = symtab[i];
    if (s.st_shndx == SHN_UNDEF || ELF64_ST_TYPE(s.st_info) != STT_FUNC || s.st_value == 0) continue;
    if (s.st_name >= strsz) continue;
    uintptr_t a = module.bias + s.st_value;
    if (a > address) continue;
    bool better =
        !best || a > bestAddress ||
        (a == bestAddress && ELF64_ST_BIND(best->st_info) == STB_WEAK && ELF64_ST_BIND(s.st_info) == STB_GLOBAL);
    if (better) {
      best = &s;
      bestAddress = a;
    }
  }
  if (!best) return false;
  out.name = strtab + best->st_name;
  out.address = bestAddress;
  return true;
}

bool IsReadableMemory(uintptr_t address, size_t size) {
  if (address == 0 || address + size < address) return false;
  char buffer[64];
  static std::atomic<bool> vmReadUnavailable{false};
  while (size > 0) {
    size_t n = std::min(size, sizeof(buffer));
    if (!vmReadUnavailable.load(std::memory_order_relaxed)) {
      iovec local{buffer, n};
      iovec remote{reinterpret_cast<void*>(address), n};
      ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
      if (got == static_cast<ssize_t>(n)) {
        address += n;
        size -= n;
        continue;
      }
      if (got >= 0 || errno == EFAULT) return false;
      vmReadUnavailable.store(true, std::memory_order_relaxed);  // ENOSYS, EPERM: use a pipe
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    ssize_t written = write(fds[1], reinterpret_cast<const void*>(address), n);
    close(fds[0]);
    close(fds[1]);
    if (written != static_cast<ssize_t>(n)) return false;
    address += n;
    size -= n;
  }
  return true;
}

}  // namespace inkpost
