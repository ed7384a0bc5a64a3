# Driving the real window on a virtual display with xdotool and photographing it with ImageMagick: sourced by
# scripts/screenshots.sh (Linux) and scripts/test-windows.sh (the Windows build under wine). The caller defines
# fail MESSAGE.

# Where to click, in window coordinates, from the fixed geometry of
# app/mainwindow.ui (no menu bar, so the central widget starts at 0,0).
searchButton=(83 321)  # "Search Device": group box at 10,10 + button at 18,300, 111x23
languageButton=(47 361) # pushButton_Yuyan at 10,350, 75x23
configureButton=(585 361) # pushButton_SaveConfigure at 550,350, 71x23
tableLeft=25            # the device table: group box at 10,10 + table at 15,21
tableTop=31
# Away from every widget, so that no button is photographed while hovered.
restingPointer=(1000 740)

# Waits up to 30 seconds for CONDITION (a shell command) to hold.
waitFor() {
    local tries
    for ((tries = 0; tries < 300; ++tries)); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}

click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
    xdotool mousemove "${restingPointer[@]}"
}

windowChecksum() {
    import -window "$1" rgb:- | md5sum
}

# Waits until the window looks the same twice in a row, 0.2 s apart (at most 10 s):
# the list of a thousand modules grows in slices.
settle() {
    local previous="" current tries
    for ((tries = 0; tries < 50; ++tries)); do
        current=$(windowChecksum "$1")
        [ "$current" = "$previous" ] && return 0
        previous=$current
        sleep 0.2
    done
    fail "the window kept changing for 10 seconds"
}

# A PNG without time stamps, so that an unchanged window gives an unchanged file.
photograph() {
    mkdir -p "$(dirname "$2")"
    import -window "$1" miff:- | convert miff:- -strip -define png:exclude-chunks=date,time "png:$2"
}
