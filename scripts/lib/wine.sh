# Shell functions that prepare a Wine prefix for the screen saver and run programs in it.

# Settings of this prefix's version; a prefix made with other settings is made again.
KWOBL_PREFIX_STAMP="kwobl-prefix 1: win64, IPA fonts linked for Japanese texts"

# Points Wine at a prefix, keeps it quiet and UTF-8 (Japanese window titles reach X only through a
# UTF-8 locale), and keeps it from asking for the Mono and Gecko add-ons or writing menu entries.
kwobl_wine_env() {
    export WINEPREFIX=$1
    export WINEARCH=win64
    export WINEDEBUG=-all
    export LC_ALL=C.UTF-8
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
}

# Creates the prefix once (about 10 to 20 s) and links the dialog fonts to IPAGothic so that Japanese
# texts have glyphs: kwobl_prepare_wine_prefix FOLDER. A prefix that is already set up is reused.
kwobl_prepare_wine_prefix() {
    local prefix=$1 face key
    kwobl_wine_env "$prefix"
    if [[ -f "$prefix/.kwobl-stamp" && "$(cat "$prefix/.kwobl-stamp")" == "$KWOBL_PREFIX_STAMP" ]]; then
        return 0
    fi
    kwobl_say "setting up the Wine prefix $prefix"
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    wineboot -i >/dev/null 2>&1
    key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
    for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'MS UI Gothic'; do
        wine reg add "$key\\FontLink\\SystemLink" /v "$face" /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic' /f \
            >/dev/null 2>&1
    done
    wine reg add "$key\\FontSubstitutes" /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null 2>&1
    # The registry reaches its files only when the server ends.
    wineserver -w
    printf '%s\n' "$KWOBL_PREFIX_STAMP" >"$prefix/.kwobl-stamp"
}

# Ends every Windows program of the current prefix and its server.
kwobl_stop_wine() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
