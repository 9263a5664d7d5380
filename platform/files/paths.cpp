// Names, folders and whole-file operations: separators, case-insensitive lookup,
// listings, copies and deletions of files and trees.

#include "platform/files/files.hpp"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat
{
namespace
{
void SetError(std::string *error, const char *what, const std::string &path, int err)
{
  if(error) *error = std::string(what) + " <" + path + ">: " + strerror(err);
}

void SetError(std::string *error, const std::string &text)
{
  if(error) *error = text;
}

std::string Join(const std::string &folder, const std::string &name)
{
  if(folder.empty()) return name;
  if(folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// The folder part and the last part of a normalized name without a trailing separator.
void Split(const std::string &path, std::string *folder, std::string *name)
{
  size_t slash = path.find_last_of('/');
  if(slash == std::string::npos)
  {
    *folder = ".";
    *name = path;
  }
  else
  {
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

std::string StripTrailingSeparator(std::string path)
{
  while(path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

/****************************************************************************/

// Case folding of names: full Unicode where the C.UTF-8 locale exists, ASCII otherwise.
locale_t FoldLocale()
{
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  return locale;
}

std::u32string Fold(const std::string &s)
{
  std::u32string out;
  out.reserve(s.size());
  locale_t locale = FoldLocale();
  const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
  size_t n = s.size(), i = 0;
  while(i < n)
  {
    char32_t c = p[i];
    size_t len = 1;
    if(c >= 0xc0 && c < 0xf8)
    {
      len = c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
      char32_t v = c & (0x7f >> len);
      bool ok = i + len <= n;
      for(size_t k = 1; ok && k < len; k++)
      {
        if((p[i + k] & 0xc0) != 0x80) ok = false;
        else v = (v << 6) | (p[i + k] & 0x3f);
      }
      if(ok) c = v;
      else
      {
        len = 1;
        c = 0xdc00 + p[i];  // a stray byte stays distinct from every character
      }
    }
    else if(c >= 0x80)
      c = 0xdc00 + c;
    if(locale) c = char32_t(towlower_l(wint_t(c), locale));
    else if(c >= 'A' && c <= 'Z') c += 32;
    out += c;
    i += len;
  }
  return out;
}

bool NameLess(const std::string &a, const std::string &b)
{
  std::u32string fa = Fold(a), fb = Fold(b);
  if(fa != fb) return fa < fb;
  return a < b;
}

// '*' any run of characters, '?' one character; case ignored; nothing else is special.
bool WildMatch(const std::u32string &pattern, const std::u32string &name)
{
  size_t p = 0, n = 0, starP = std::u32string::npos, starN = 0;
  while(n < name.size())
  {
    if(p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n]))
    {
      p++;
      n++;
    }
    else if(p < pattern.size() && pattern[p] == U'*')
    {
      starP = p++;
      starN = n;
    }
    else if(starP != std::u32string::npos)
    {
      p = starP + 1;
      n = ++starN;
    }
    else
      return false;
  }
  while(p < pattern.size() && pattern[p] == U'*') p++;
  return p == pattern.size();
}

bool PatternMatches(const std::u32string &pattern, const std::string &name)
{
  std::u32string folded = Fold(name);
  if(WildMatch(pattern, folded)) return true;
  // "*.*" and "name.*" take names without an extension as well
  if(pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, U".*") == 0 &&
     folded.find(U'.') == std::u32string::npos)
    return WildMatch(pattern.substr(0, pattern.size() - 2), folded);
  return false;
}

bool HasWildcards(const std::string &s)
{
  return s.find_first_of("*?") != std::string::npos;
}

// The spelling under which `name` exists in `folder` ignoring case; empty when none.
std::string FindCaseless(const std::string &folder, const std::string &name)
{
  DIR *d = opendir(folder.c_str());
  if(!d) return std::string();
  std::u32string want = Fold(name);
  std::string best;
  while(dirent *e = readdir(d))
  {
    if(!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
    if(Fold(e->d_name) == want && (best.empty() || std::string(e->d_name) < best)) best = e->d_name;
  }
  closedir(d);
  return best;
}

uint64_t FileTime(const struct stat &st)
{
  // 100-nanosecond ticks from 1601 to 1970
  const int64_t epoch = 116444736000000000LL;
  int64_t t = epoch + int64_t(st.st_mtim.tv_sec) * 10000000LL + int64_t(st.st_mtim.tv_nsec) / 100;
  return t < 0 ? 0 : uint64_t(t);
}

void FillEntry(DirEntry *e, const std::string &name, const struct stat &st, bool link)
{
  e->Name = name;
  e->Directory = S_ISDIR(st.st_mode);
  e->Size = e->Directory ? 0 : uint64_t(st.st_size);
  e->ReadOnly = !(st.st_mode & S_IWUSR);
  e->SymbolicLink = link;
  e->LastWrite = FileTime(st);
}

bool CopyData(int in, int out, const std::string &from, const std::string &to, std::string *error)
{
  std::vector<char> buffer(1 << 20);
  for(;;)
  {
    ssize_t r = read(in, buffer.data(), buffer.size());
    if(r < 0)
    {
      if(errno == EINTR) continue;
      SetError(error, "copy: cannot read", from, errno);
      return false;
    }
    if(r == 0) return true;
    ssize_t done = 0;
    while(done < r)
    {
      ssize_t w = write(out, buffer.data() + done, size_t(r - done));
      if(w < 0)
      {
        if(errno == EINTR) continue;
        SetError(error, "copy: cannot write", to, errno);
        return false;
      }
      done += w;
    }
  }
}

bool CopyResolved(const std::string &src, const std::string &dst, bool failIfExists, std::string *error)
{
  // without waiting: a FIFO has no writer to wait for, and is refused below
  int in = open(src.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if(in < 0)
  {
    SetError(error, "copy: cannot open", src, errno);
    return false;
  }
  struct stat sst;
  int statError = fstat(in, &sst) != 0 ? errno : S_ISDIR(sst.st_mode) ? EISDIR : !S_ISREG(sst.st_mode) ? EINVAL : 0;
  if(statError)
  {
    int err = statError;
    close(in);
    SetError(error, "copy: not a file", src, err);
    return false;
  }
  struct stat dst_st;
  if(stat(dst.c_str(), &dst_st) == 0)
  {
    int err = failIfExists ? EEXIST : S_ISDIR(dst_st.st_mode) ? EISDIR : 0;
    if(!err && dst_st.st_dev == sst.st_dev && dst_st.st_ino == sst.st_ino)
    {
      close(in);
      SetError(error, "copy: <" + src + "> and <" + dst + "> are the same file");
      return false;
    }
    if(err)
    {
      close(in);
      SetError(error, "copy: target exists", dst, err);
      return false;
    }
  }
  // into a temporary beside the target, renamed into place when complete
  std::string folder, name;
  Split(dst, &folder, &name);
  std::string temp = Join(folder, "." + name + ".copy-XXXXXX");
  int out = mkostemp(temp.data(), O_CLOEXEC);
  if(out < 0)
  {
    close(in);
    SetError(error, "copy: cannot create", dst, errno);
    return false;
  }
  bool ok = CopyData(in, out, src, dst, error);
  close(in);
  if(ok && fchmod(out, sst.st_mode & 07777) != 0)
  {
    SetError(error, "copy: cannot set permissions of", dst, errno);
    ok = false;
  }
  if(close(out) != 0 && ok)
  {
    SetError(error, "copy: cannot write", dst, errno);
    ok = false;
  }
  if(ok)
  {
    int r = failIfExists ? renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE)
                         : rename(temp.c_str(), dst.c_str());
    if(r != 0 && failIfExists && errno == EINVAL)
    {
      // a file system without no-replace renames: check, then rename
      struct stat again;
      if(lstat(dst.c_str(), &again) == 0) errno = EEXIST;
      else r = rename(temp.c_str(), dst.c_str());
    }
    if(r != 0)
    {
      SetError(error, "copy: cannot create", dst, errno);
      ok = false;
    }
  }
  if(!ok) unlink(temp.c_str());
  return ok;
}

std::string Canonical(const std::string &path)
{
  char *real = realpath(path.c_str(), nullptr);
  if(real)
  {
    std::string s(real);
    free(real);
    return s;
  }
  // a target that does not exist yet: its folder's real name and its own
  std::string folder, name;
  Split(StripTrailingSeparator(path), &folder, &name);
  if(folder == path) return path;
  return Join(Canonical(folder), name);
}

bool CopyTreeResolved(const std::string &src, const std::string &dst, std::string *error)
{
  struct stat st;
  if(lstat(src.c_str(), &st) != 0)
  {
    SetError(error, "copy: cannot read", src, errno);
    return false;
  }
  if(S_ISLNK(st.st_mode))
  {
    std::string target(size_t(st.st_size > 0 ? st.st_size : 256) + 1, 0);
    ssize_t n = readlink(src.c_str(), target.data(), target.size());
    if(n < 0)
    {
      SetError(error, "copy: cannot read the link", src, errno);
      return false;
    }
    target.resize(size_t(n));
    struct stat old;
    if(lstat(dst.c_str(), &old) == 0 && !S_ISDIR(old.st_mode)) unlink(dst.c_str());
    if(symlink(target.c_str(), dst.c_str()) != 0)
    {
      SetError(error, "copy: cannot create the link", dst, errno);
      return false;
    }
    return true;
  }
  if(S_ISREG(st.st_mode)) return CopyResolved(src, dst, false, error);
  if(!S_ISDIR(st.st_mode)) return true;  // devices, pipes and sockets are not copied

  if(mkdir(dst.c_str(), 0700) != 0)
  {
    struct stat existing;
    if(errno != EEXIST || stat(dst.c_str(), &existing) != 0 || !S_ISDIR(existing.st_mode))
    {
      SetError(error, "copy: cannot create the folder", dst, errno == EEXIST ? ENOTDIR : errno);
      return false;
    }
  }
  DIR *d = opendir(src.c_str());
  if(!d)
  {
    SetError(error, "copy: cannot read the folder", src, errno);
    return false;
  }
  std::vector<std::string> names;
  while(dirent *e = readdir(d))
    if(strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
  closedir(d);
  bool ok = true;
  for(const std::string &name : names)
    if(!CopyTreeResolved(Join(src, name), Join(dst, name), error))
    {
      ok = false;
      break;
    }
  chmod(dst.c_str(), st.st_mode & 07777);
  return ok;
}

// Removes everything inside the open folder; the descriptor is consumed.
bool RemoveContents(int folderFd, const std::string &shown, std::string *error)
{
  DIR *d = fdopendir(folderFd);
  if(!d)
  {
    SetError(error, "delete: cannot read the folder", shown, errno);
    close(folderFd);
    return false;
  }
  std::vector<std::string> names;
  while(dirent *e = readdir(d))
    if(strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
  bool ok = true;
  int fd = dirfd(d);
  for(const std::string &name : names)
  {
    struct stat st;
    if(fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    {
      if(errno == ENOENT) continue;
      SetError(error, "delete: cannot read", Join(shown, name), errno);
      ok = false;
      break;
    }
    if(S_ISDIR(st.st_mode))
    {
      // O_NOFOLLOW: a folder swapped for a link meanwhile is not entered
      int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if(sub < 0 || !RemoveContents(sub, Join(shown, name), error))
      {
        if(sub < 0) SetError(error, "delete: cannot open the folder", Join(shown, name), errno);
        ok = false;
        break;
      }
      if(unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0)
      {
        SetError(error, "delete: cannot remove the folder", Join(shown, name), errno);
        ok = false;
        break;
      }
    }
    else if(unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT)
    {
      SetError(error, "delete: cannot remove", Join(shown, name), errno);
      ok = false;
      break;
    }
  }
  closedir(d);
  return ok;
}
}

/****************************************************************************/

std::string NormalizePath(const char *path)
{
  std::string out;
  if(!path) return out;
  for(const char *p = path; *p; p++)
  {
    char c = *p == '\\' ? '/' : *p;
    if(c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

std::string ResolvePath(const char *path)
{
  std::string p = NormalizePath(path);
  if(p.empty()) return p;
  struct stat st;
  if(lstat(p.c_str(), &st) == 0) return p;

  std::string cur = p[0] == '/' ? "/" : "";
  bool resolving = true;
  size_t start = 0;
  while(start <= p.size())
  {
    size_t end = p.find('/', start);
    if(end == std::string::npos) end = p.size();
    std::string part = p.substr(start, end - start);
    start = end + 1;
    if(part.empty()) continue;
    std::string next = Join(cur, part);
    if(resolving && part != "." && part != ".." && lstat(next.c_str(), &st) != 0)
    {
      std::string found = FindCaseless(cur.empty() ? "." : cur, part);
      if(!found.empty()) next = Join(cur, found);
      else resolving = false;  // nothing below it can exist: the rest stays as written
    }
    cur = next;
  }
  if(p.back() == '/' && (cur.empty() || cur.back() != '/')) cur += '/';
  return cur;
}

bool ListDir(const char *folder, const char *pattern, std::vector<DirEntry> *entries, std::string *error)
{
  if(entries) entries->clear();
  std::string dir = ResolvePath(folder && *folder ? folder : ".");
  DIR *d = opendir(dir.c_str());
  if(!d)
  {
    SetError(error, "cannot list", dir, errno);
    return false;
  }
  std::u32string want = Fold(pattern && *pattern ? pattern : "*.*");
  int fd = dirfd(d);
  std::vector<DirEntry> found;
  while(dirent *e = readdir(d))
  {
    if(!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
    if(!PatternMatches(want, e->d_name)) continue;
    struct stat lst, st;
    if(fstatat(fd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    bool link = S_ISLNK(lst.st_mode);
    // a link is listed as what it points to; a dangling one as itself
    if(!link || fstatat(fd, e->d_name, &st, 0) != 0) st = lst;
    DirEntry entry;
    FillEntry(&entry, e->d_name, st, link);
    found.push_back(std::move(entry));
  }
  closedir(d);
  // sorted by name: the system lists a folder in no fixed order, and lists built from it must not change between runs
  std::sort(found.begin(), found.end(), [](const DirEntry &a, const DirEntry &b) { return NameLess(a.Name, b.Name); });
  if(entries) *entries = std::move(found);
  return true;
}

bool FindFiles(const char *search, std::vector<DirEntry> *entries, std::string *error)
{
  if(entries) entries->clear();
  std::string n = StripTrailingSeparator(NormalizePath(search));
  if(n.empty() || n == "/")
  {
    SetError(error, "no name to find");
    return false;
  }
  std::string folder, name;
  Split(n, &folder, &name);
  return ListDir(folder.c_str(), name.c_str(), entries, error);
}

bool PathExists(const char *path)
{
  std::string n = StripTrailingSeparator(NormalizePath(path));
  if(n.empty()) return false;
  if(HasWildcards(n))
  {
    std::vector<DirEntry> found;
    return FindFiles(n.c_str(), &found) && !found.empty();
  }
  struct stat st;
  return lstat(ResolvePath(n.c_str()).c_str(), &st) == 0;
}

bool CanOpenForReading(const char *path)
{
  std::string p = ResolvePath(path);
  if(p.empty()) return false;
  // a FIFO would hold a plain open until a writer comes
  int fd = open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if(fd < 0) return false;
  close(fd);
  return true;
}

bool GetFileInfo(const char *path, DirEntry *info, std::string *error)
{
  std::string p = StripTrailingSeparator(ResolvePath(path));
  struct stat lst, st;
  if(p.empty() || lstat(p.c_str(), &lst) != 0)
  {
    SetError(error, "not found", p, p.empty() ? ENOENT : errno);
    return false;
  }
  bool link = S_ISLNK(lst.st_mode);
  if(!link || stat(p.c_str(), &st) != 0) st = lst;
  std::string folder, name;
  Split(p, &folder, &name);
  if(info) FillEntry(info, name, st, link);
  return true;
}

bool SetReadOnly(const char *path, bool readOnly, std::string *error)
{
  std::string p = ResolvePath(path);
  struct stat st;
  if(stat(p.c_str(), &st) != 0)
  {
    SetError(error, "not found", p, errno);
    return false;
  }
  mode_t mode = st.st_mode & 07777;
  mode = readOnly ? mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
  if(chmod(p.c_str(), mode) != 0)
  {
    SetError(error, "cannot change permissions of", p, errno);
    return false;
  }
  return true;
}

bool MakeDir(const char *path, std::string *error)
{
  std::string p = StripTrailingSeparator(ResolvePath(path));
  if(p.empty() || mkdir(p.c_str(), 0777) != 0)
  {
    SetError(error, "cannot make the folder", p, p.empty() ? ENOENT : errno);
    return false;
  }
  return true;
}

bool RemoveDir(const char *path, std::string *error)
{
  std::string p = StripTrailingSeparator(ResolvePath(path));
  if(p.empty() || rmdir(p.c_str()) != 0)
  {
    SetError(error, "cannot remove the folder", p, p.empty() ? ENOENT : errno);
    return false;
  }
  return true;
}

bool RenameFile(const char *from, const char *to, std::string *error)
{
  std::string src = StripTrailingSeparator(ResolvePath(from)), dst = StripTrailingSeparator(ResolvePath(to));
  if(src.empty() || dst.empty())
  {
    SetError(error, "rename: empty file name");
    return false;
  }
  // rename replaces the target in one step: a reader sees the old file or the new one
  if(rename(src.c_str(), dst.c_str()) != 0)
  {
    SetError(error, "cannot rename", src, errno);
    return false;
  }
  return true;
}

bool DeleteFile(const char *path, std::string *error)
{
  std::string p = StripTrailingSeparator(ResolvePath(path));
  struct stat st;
  if(p.empty() || lstat(p.c_str(), &st) != 0)
  {
    SetError(error, "cannot delete", p, p.empty() ? ENOENT : errno);
    return false;
  }
  if(S_ISDIR(st.st_mode))
  {
    SetError(error, "cannot delete", p, EISDIR);
    return false;
  }
  if(unlink(p.c_str()) != 0)
  {
    SetError(error, "cannot delete", p, errno);
    return false;
  }
  return true;
}

bool SyncFolderOf(const char *path, std::string *error)
{
  std::string folder, name;
  Split(StripTrailingSeparator(ResolvePath(path)), &folder, &name);
  int fd;
  do fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while(fd < 0 && errno == EINTR);
  if(fd < 0)
  {
    SetError(error, "cannot open the folder", folder, errno);
    return false;
  }
  int r;
  do r = fsync(fd);
  while(r != 0 && errno == EINTR);
  int err = errno;
  close(fd);
  if(r != 0)
  {
    SetError(error, "cannot flush the folder", folder, err);
    return false;
  }
  return true;
}

bool ReplaceFile(const char *from, const char *to, std::string *error)
{
  std::string src = StripTrailingSeparator(ResolvePath(from)), dst = StripTrailingSeparator(ResolvePath(to));
  if(src.empty() || dst.empty())
  {
    SetError(error, "replace: empty file name");
    return false;
  }
  if(rename(src.c_str(), dst.c_str()) != 0)
  {
    SetError(error, "cannot replace", dst, errno);
    return false;
  }
  return true;
}

bool CopyFile(const char *from, const char *to, bool failIfExists, std::string *error)
{
  std::string src = ResolvePath(from), dst = StripTrailingSeparator(ResolvePath(to));
  if(src.empty() || dst.empty())
  {
    SetError(error, "copy: empty file name");
    return false;
  }
  return CopyResolved(src, dst, failIfExists, error);
}

bool CopyTree(const char *from, const char *to, std::string *error)
{
  std::string src = StripTrailingSeparator(ResolvePath(from)), dst = StripTrailingSeparator(ResolvePath(to));
  if(src.empty() || dst.empty())
  {
    SetError(error, "copy: empty folder name");
    return false;
  }
  struct stat st;
  if(lstat(src.c_str(), &st) != 0)
  {
    SetError(error, "copy: cannot read", src, errno);
    return false;
  }
  if(S_ISDIR(st.st_mode))
  {
    std::string csrc = Canonical(src), cdst = Canonical(dst);
    if(cdst == csrc || (cdst.size() > csrc.size() && cdst.compare(0, csrc.size(), csrc) == 0 &&
                        (csrc == "/" || cdst[csrc.size()] == '/')))
    {
      SetError(error, "copy: <" + dst + "> lies inside <" + src + ">");
      return false;
    }
  }
  return CopyTreeResolved(src, dst, error);
}

bool DeleteTree(const char *path, std::string *error)
{
  std::string p = StripTrailingSeparator(ResolvePath(path));
  if(p.empty() || p == "/" || p == "." || p == "..")
  {
    SetError(error, "delete: refusing to delete <" + p + ">");
    return false;
  }
  struct stat st;
  if(lstat(p.c_str(), &st) != 0)
  {
    SetError(error, "delete: not found", p, errno);
    return false;
  }
  if(!S_ISDIR(st.st_mode))
  {
    if(unlink(p.c_str()) != 0)
    {
      SetError(error, "delete: cannot remove", p, errno);
      return false;
    }
    return true;
  }
  int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if(fd < 0)
  {
    SetError(error, "delete: cannot open the folder", p, errno);
    return false;
  }
  if(!RemoveContents(fd, p, error)) return false;
  if(rmdir(p.c_str()) != 0)
  {
    SetError(error, "delete: cannot remove the folder", p, errno);
    return false;
  }
  return true;
}

bool ChangeDir(const char *path, std::string *error)
{
  std::string p = ResolvePath(path);
  if(p.empty() || chdir(p.c_str()) != 0)
  {
    SetError(error, "cannot change to", p, p.empty() ? ENOENT : errno);
    return false;
  }
  return true;
}

std::string CurrentDir()
{
  std::vector<char> buffer(4096);
  for(;;)
  {
    if(getcwd(buffer.data(), buffer.size())) return buffer.data();
    if(errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}
}
