import _tessark; print("tessark demo")
