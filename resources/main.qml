// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

pragma ComponentBehavior: Bound
import QtQuick

Rectangle {
    id: window

    property int introdelay: 3000
    property int minInterval: 1000
    property int steps: 8
    property int borderdelay: 500
    property bool demo: false
    property bool gohome: false

    component Card: Rectangle {
        property alias text: caption.text

        anchors.fill: parent
        color: "black"

        Text {
            id: caption

            anchors.centerIn: parent
            font { family: "Terminal"; pixelSize: 20 }
            color: "white"
        }
    }

    // One cell of the border: its colours are drawn once, when it is made.
    component BorderSquare: Rectangle {
        id: square

        property int fadeDuration

        width: 10; height: 10
        color: Qt.rgba(Math.random(), Math.random(), Math.random(), Math.random())

        SequentialAnimation on color {
            id: flicker

            loops: Animation.Infinite

            ColorAnimation {
                from: Qt.rgba(Math.random(), Math.random(), Math.random(), Math.random())
                to: Qt.rgba(Math.random(), Math.random(), Math.random(), Math.random())
                duration: square.fadeDuration
                // A running animation keeps the duration it started with: start
                // over, so a new one takes effect at once and the squares stay
                // in step.
                onDurationChanged: flicker.restart()
            }
        }
    }

    width: 800; height: 480
    color: "black"

    Timer {
        id: inittimer

        interval: window.introdelay
        running: true
        onTriggered: {
            window.demo = true
            texttimer.start()
        }
    }

    Timer {
        id: texttimer

        interval: window.minInterval
        repeat: true
        onTriggered: txtmessage.updateText()
    }

    Timer {
        id: endtimer

        interval: 6000
        // The host publishes its quit action on the root context.
        onTriggered: action.trigger() // qmllint disable unqualified
    }

    // The sweeping bar, behind everything else. Both loops last four seconds
    // and start together, so the bar rises at full opacity and sinks faded.
    Rectangle {
        id: bar

        x: 0; y: 100
        width: window.width; height: 40
        gradient: Gradient {
            GradientStop { position: 0.0; color: "black" }
            GradientStop { position: 0.2; color: "lightgray" }
            GradientStop { position: 0.8; color: "black" }
        }

        // Not a value source on y: the bar starts at 100, so the first step
        // rests there for a second.
        SequentialAnimation {
            running: true
            loops: Animation.Infinite

            NumberAnimation { target: bar; property: "y"; to: 100; duration: 1000 }
            PauseAnimation { duration: 1000 }
            NumberAnimation { target: bar; property: "y"; to: window.height - 100; duration: 1000 }
            PauseAnimation { duration: 1000 }
        }

        SequentialAnimation on opacity {
            loops: Animation.Infinite

            PauseAnimation { duration: 1000 }
            NumberAnimation { to: 0.2; duration: 1000 }
            PauseAnimation { duration: 1000 }
            NumberAnimation { to: 1; duration: 1000 }
        }
    }

    Text {
        id: txtmessage

        property string line0: "4 g33k"
        property string line1: "w0rk5"
        property string line2: "f0r"
        property string line3: "p34nu75"
        property string line4: "4nd"
        property string line5: "c0d35"
        property string line6: "f0r"
        property string line7: "b4n4n45"

        // The first call names the state "-1", which matches no state, so
        // line0 is shown for two steps before line1.
        function updateText() {
            let next = -1
            if (txtmessage.state !== "")
                next = parseInt(txtmessage.state) + 1
            if (next < window.steps) {
                txtmessage.state = next + ""
            } else {
                window.demo = false
                texttimer.stop()
                window.gohome = true
                endtimer.start()
            }
        }

        anchors.centerIn: parent
        font { family: "Terminal"; pixelSize: Math.floor(window.width / 8) }
        color: "darkgray"
        text: txtmessage.line0

        states: [
            State { name: "0"; PropertyChanges { txtmessage.text: txtmessage.line0 } },
            State { name: "1"; PropertyChanges { txtmessage.text: txtmessage.line1 } },
            State { name: "2"; PropertyChanges { txtmessage.text: txtmessage.line2 } },
            State { name: "3"; PropertyChanges { txtmessage.text: txtmessage.line3 } },
            State { name: "4"; PropertyChanges { txtmessage.text: txtmessage.line4 } },
            State { name: "5"; PropertyChanges { txtmessage.text: txtmessage.line5 } },
            State { name: "6"; PropertyChanges { txtmessage.text: txtmessage.line6 } },
            State { name: "7"; PropertyChanges { txtmessage.text: txtmessage.line7 } }
        ]
    }

    // The border: the positioners set only the stacking coordinate, so the
    // right column and the bottom row reach their edges through the square's
    // own x or y. Later groups cover the corners of earlier ones.
    Column {
        Repeater {
            model: Math.floor(window.height / 10)
            BorderSquare { fadeDuration: window.borderdelay }
        }
    }

    Column {
        Repeater {
            model: Math.floor(window.height / 10)
            BorderSquare { x: window.width - 10; fadeDuration: window.borderdelay }
        }
    }

    Row {
        Repeater {
            model: Math.floor(window.width / 10)
            BorderSquare { y: window.height - 10; fadeDuration: window.borderdelay }
        }
    }

    Row {
        Repeater {
            model: Math.floor(window.width / 10)
            BorderSquare { fadeDuration: window.borderdelay }
        }
    }

    Card {
        id: init

        text: "Brimble Novatch\n with Qt & QML\n       @\n    [vex10]"
    }

    Card {
        id: theend

        opacity: 0
        text: "      /o\\\n\nI'll get me coat"
    }

    states: [
        // The title card fades out once the message phase starts.
        State { name: "demo"; when: window.demo },
        // The end card fades in; neither fade is ever undone.
        State { name: "endstate"; when: window.gohome }
    ]

    transitions: [
        Transition {
            to: "demo"
            NumberAnimation { target: init; property: "opacity"; to: 0.0; duration: 2000 }
        },
        Transition {
            to: "endstate"
            NumberAnimation { target: theend; property: "opacity"; to: 1.0; duration: 2000 }
        }
    ]
}
