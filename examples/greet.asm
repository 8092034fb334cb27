; GREET: clear the screen, colour it and print a greeting

	ORG	#8000
SCREEN	EQU	#4000
ATTRS	EQU	#5800

START	DI	
	LD	HL,SCREEN       ; wipe the bitmap
	LD	DE,SCREEN+1
	LD	BC,6143
	LD	(HL),0
	LDIR	
	LD	IX,ATTRS
	LD	B,24              ; one row of colours at a time
ROW	LD	(IX+0),#38
	INC	IX
	DJNZ	ROW
	EI	
	LD	HL,TEXT
	CALL	PRINT
	LD	A,I
	JR	NZ,DONE
	EX	AF,AF'
DONE	RET	

; print the text at HL up to its zero byte
PRINT	LD	A,(HL)
	OR	A
	RET	Z
	PUSH	HL
	RST	#10
	POP	HL
	INC	HL
	JR	PRINT

TEXT	DEFB	"Hello from korve",13,0
BUFFER DS 32 ; kept as typed

