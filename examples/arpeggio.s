; arpeggio.sid: a four-note arpeggio on voice 1, one note per play call.
; Hand-assembled; the bytes are in arpeggio.sid after its 124-byte header
; (PSID version 2, load $1000, init $1000, play $1020, one song).

        * = $1000
init    LDA #$0F        ; 1000  a9 0f      full volume
        STA $D418       ; 1002  8d 18 d4
        LDA #$09        ; 1005  a9 09      attack 0, decay 9
        STA $D405       ; 1007  8d 05 d4
        LDA #$00        ; 100a  a9 00      sustain 0, release 0
        STA $D406       ; 100c  8d 06 d4
        STA $FB         ; 100f  85 fb      frame counter
        RTS             ; 1011  60

        * = $1020
play    INC $FB         ; 1020  e6 fb
        LDA $FB         ; 1022  a5 fb
        AND #$03        ; 1024  29 03      note 0 to 3
        TAX             ; 1026  aa
        LDA lo,X        ; 1027  bd 40 10
        STA $D400       ; 102a  8d 00 d4   frequency, low byte
        LDA hi,X        ; 102d  bd 44 10
        STA $D401       ; 1030  8d 01 d4   frequency, high byte
        LDA #$11        ; 1033  a9 11      triangle wave, gate on
        STA $D404       ; 1035  8d 04 d4
        RTS             ; 1038  60

        * = $1040
lo      .byte $67, $ed, $13, $ce     ; C4 E4 G4 C5 (PAL)
hi      .byte $11, $15, $1a, $22
