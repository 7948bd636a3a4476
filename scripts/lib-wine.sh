# shellcheck shell=bash
# The scripts' one Wine set-up, sourced by wine-run, wine-prefix.sh, test.sh
# and bench-msgbox.sh (never run by itself):
#
#   wine_select 32|64    sets wine_loader and wine_server, the programs that run
#                        that kind of Wine, and wine_winearch (win32 or win64)
#   wine_prefix_of DIR   prints the Wine prefix of build folder DIR
#   wine_env PREFIX      exports what every Wine start gets: PREFIX, the loader
#                        and server of wine_select, no debug output, no Mono or
#                        Gecko installers
#   wine_stop PREFIX     stops PREFIX's Wine server, if one runs (bounded)

wine_select() {
  if [[ $1 == 32 ]]; then
    wine_loader=/usr/lib/wine/wine wine_server=/usr/lib/wine/wineserver32 wine_winearch=win32
    # The 64-bit server serves 32-bit Wine as well and, where 32-bit programs
    # run through qemu-i386, is far faster than the emulated one.
    if [[ -x /usr/lib/wine/wineserver64 ]]; then wine_server=/usr/lib/wine/wineserver64; fi
  else
    wine_loader=/usr/lib/wine/wine64 wine_server=/usr/lib/wine/wineserver64 wine_winearch=win64
  fi
}

wine_prefix_of() { echo "$1/wineprefix"; }

wine_env() {
  export WINEPREFIX=$1 WINEARCH=$wine_winearch WINELOADER=$wine_loader WINESERVER=$wine_server
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # Under qemu-i386, Wine needs the whole 32-bit address space reserved up
  # front, or its fixed shared-data page may already be taken. A 64-bit
  # prefix has a 32-bit side too; programs not run by qemu never read it.
  export QEMU_RESERVED_VA=0xffff0000
}

wine_stop() {
  WINEPREFIX=$1 timeout 30 "$wine_server" -k 2>/dev/null || true
}
