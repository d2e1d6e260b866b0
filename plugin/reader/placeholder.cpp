// Frame reader sources go here.
