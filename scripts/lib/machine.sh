# Tests of what this machine offers, shared by the set-up, test and demo
# scripts. Sourced, not run.

# True where the kernel itself runs 32-bit x86 programs. A registered qemu
# handler would run the probe too, so its presence answers no.
runs_32bit_natively() {
  if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then return 1; fi
  local probe
  probe=$(mktemp)
  # A 91-byte i386 program that exits with status 0.
  base64 -d >"$probe" <<<'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhbAAAAWwAAAAUAAAAAEAAAMdsxwEDNgA=='
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return $status
}

# True when 32-bit Wine can start here, natively or under qemu.
has_wine32() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }

# The locale that gives Wine the GBK code page 936.
gbk_locale=zh_CN.UTF-8
has_gbk_locale() { locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; }
