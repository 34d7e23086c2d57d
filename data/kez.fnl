modern   modern.fnt
simplex  simplex.fnt
duplex   duplex.fnt
roman    roman.fnt
italic   italic.fnt
script   script.fnt
greek    greek.fnt
