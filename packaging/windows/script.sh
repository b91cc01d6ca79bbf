# Shared by build-deps.sh and package.sh: timing, logging and installing packages.
# (Not part of any dependency's cache key: nothing here shapes a build.)

APT=(apt-get -o DPkg::Lock::Timeout=600 -o APT::Get::Assume-Yes=true)

ms() { date +%s%3N; }
since() {
    local d=$(($(ms) - $1))
    printf '%d.%ds' $((d / 1000)) $((d % 1000 / 100))
}
log() { printf '[%s] %s\n' "$(date +%T)" "$*"; }

# Runs one step, of the dependency in $current if there is one, and says how long it took.
step() {
    local label=${current:+$current: }$1 t
    shift
    t=$(ms)
    log "$label"
    "$@"
    log "$label took $(since "$t")"
}

# Installs those of the Debian packages in PACKAGES that are missing.
install_packages() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    "${APT[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -qq --no-install-recommends "${missing[@]}"
}
