# Sourced by the scripts that build libraries from Debian's own source packages
# (build-windows-deps, build-linux-sdl2). They set `work` (a temporary folder), `log`,
# `versions` (a file that lists what was built) and the functions `say` and `fail` first.
#
# The sources come through `apt-get source` with an apt configuration of its own: deb-src lines
# for the machine's Debian release (BEATSHOW_DEBIAN_MIRROR and BEATSHOW_DEBIAN_SUITE choose
# another), its own lists and cache in the temporary folder, so the system's package sources
# are left as they are.

debian_sources_init() {
  mirror=${BEATSHOW_DEBIAN_MIRROR:-http://deb.debian.org/debian}
  suite=${BEATSHOW_DEBIAN_SUITE:-$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")}
  suite=${suite:-bookworm}
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  [ -f "$keyring" ] || fail "needs Debian's archive keyring $keyring (package debian-archive-keyring)"

  local apt_dir=$work/apt
  mkdir -p "$apt_dir"/{lists/partial,cache/archives/partial,sources.list.d,preferences.d}
  cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] $mirror $suite main
deb-src [signed-by=$keyring] $mirror $suite-updates main
EOF
  cat >"$apt_dir/apt.conf" <<EOF
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/sources.list.d";
Dir::Etc::PreferencesParts "$apt_dir/preferences.d";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache "$apt_dir/cache";
APT::Sandbox::User "$(id -un)";
EOF
  export APT_CONFIG=$apt_dir/apt.conf

  say "reading Debian's source index ($mirror $suite)"
  # (Without --error-on=any a mirror that does not answer is only a warning.)
  apt-get -q update --error-on=any >>"$log" 2>&1 ||
    fail "cannot read Debian's source index from $mirror ($suite): $(grep -E '^(E|W):' "$log" | head -1)"
}

# Unpacks Debian's source package $1 into $work/src/$1/ and prints the tree's path. A package whose
# Debian packaging tarball the mirror lacks is unpacked from its upstream tarball alone (the one
# the package's signed index vouches for), with a line that says so: Debian's patches are then
# missing from the build. Any other missing file fails in one line.
fetch() {
  local package=$1 dir=$work/src/$1
  mkdir -p "$dir"
  if (cd "$dir" && apt-get -q source "$package" >>"$log" 2>&1); then
    find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1
    return
  fi
  local uris
  uris=$(cd "$dir" && apt-get -qq source --print-uris "$package" 2>>"$log") ||
    fail "Debian's source package $package cannot be had from $mirror ($suite): $(grep -E '^E:' "$log" | tail -1)"
  local uri name size hash missing="" orig=""
  while read -r uri name size hash; do
    uri=${uri//\'/}
    if ! /usr/lib/apt/apt-helper download-file "$uri" "$dir/$name" "$hash" </dev/null >>"$log" 2>&1; then
      case $name in
      *.debian.tar.*) missing=$name ;;
      *) fail "Debian's source package $package cannot be had: $name is missing from $mirror" ;;
      esac
    fi
  done < <(grep "^'" <<<"$uris")
  # (apt-get source has fetched, and checked, some of them already; those are not listed again.)
  orig=$(cd "$dir" && find . -maxdepth 1 -name '*.orig.tar.*' ! -name '*.orig-*' ! -name '*.asc' -printf '%f\n' | head -1)
  [ -n "$missing" ] && [ -n "$orig" ] ||
    fail "Debian's source package $package cannot be had from $mirror ($suite): $(grep -E '^E:' "$log" | tail -1)"
  say "$package: $mirror lacks $missing; building the upstream tarball of the package ($orig) without Debian's patches"
  (cd "$dir" && tar xf "$orig") >>"$log" 2>&1 || fail "cannot unpack $orig of $package"
  find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1
}

# Notes the package's version in $versions and keeps its licence (Debian's copyright file, or the
# upstream one) under $2/share/licenses/, since a program built from it carries the notice along.
note_package() {
  local package=$1 tree=$2 prefix=$3 version=""
  if [ -f "$tree/debian/changelog" ]; then
    version=$(dpkg-parsechangelog -l "$tree/debian/changelog" -S Version 2>/dev/null)
  else
    version=$(sed -n 's/^Version: //p' "$(dirname "$tree")"/*.dsc 2>/dev/null | head -1)
    version=${version:+$version (upstream tarball only)}
  fi
  echo "$package ${version:-$(basename "$tree")}" >>"$versions"
  mkdir -p "$prefix/share/licenses"
  local licence
  for licence in debian/copyright COPYING COPYING.txt LICENSE LICENSE.txt LICENSE.md docs/FTL.TXT; do
    if [ -f "$tree/$licence" ]; then
      cp "$tree/$licence" "$prefix/share/licenses/$package.txt"
      return
    fi
  done
}
